#include "dashboard/dashboardcommandline.h"
#include "dashboard/dashboardserver.h"
#include "documents/documentsapplication.h"
#include "process/stopsignals.h"
#include "store/recordsstore.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>

#include <cstdio>
#include <iostream>
#include <string>

#include <termios.h>
#include <unistd.h>

namespace {

enum ExitCode
{
    Stopped = 0,
    CannotListen = 1,
    RecordsUnusable = 3,
};

void print(FILE *stream, const QString &text)
{
    std::fputs(qPrintable(text), stream);
    std::fflush(stream);
}

QString addressText(const QHostAddress &address, quint16 port)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

// --hash-password: the password from standard input (never the command line, where every
// user of the PC sees it), not echoed on a terminal.
int printPasswordHash()
{
    termios saved{};
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        std::fputs("Password: ", stderr);
    }
    std::string password;
    std::getline(std::cin, password);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fputs("\n", stderr);
    }
    if (password.empty()) {
        print(stderr, QStringLiteral("vorn-dashboard: no password given on standard input\n"));
        return 2;
    }
    print(stdout,
          DashboardLogin::hashPassword(QByteArray::fromStdString(password)) + QLatin1Char('\n'));
    return 0;
}

// The certificate and key of --tls-cert and --tls-key; nothing with the reason in error.
std::optional<QSslConfiguration> tlsConfiguration(const DashboardCommandLine &commandLine,
                                                  QString *error)
{
    const QList<QSslCertificate> chain =
        QSslCertificate::fromPath(commandLine.tlsCertificate, QSsl::Pem);
    QFile keyFile(commandLine.tlsKey);
    if (chain.isEmpty()) {
        *error = QStringLiteral("%1 holds no PEM certificate").arg(commandLine.tlsCertificate);
        return std::nullopt;
    }
    if (!keyFile.open(QIODevice::ReadOnly)) {
        *error =
            QStringLiteral("cannot read %1: %2").arg(commandLine.tlsKey, keyFile.errorString());
        return std::nullopt;
    }
    const QByteArray pem = keyFile.readAll();
    QSslKey key(pem, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(pem, QSsl::Ec, QSsl::Pem);
    if (key.isNull()) {
        *error = QStringLiteral("%1 holds no PEM private key (RSA or EC)").arg(commandLine.tlsKey);
        return std::nullopt;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone); // browsers bring no certificate
    return configuration;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    int exitCode = 0;
    const std::optional<DashboardCommandLine> commandLine =
        DashboardCommandLine::parse(arguments, qEnvironmentVariable("VORN_RECORDS"), exitCode);
    if (!commandLine)
        return exitCode;
    if (commandLine->hashPassword)
        return printPasswordHash();

    // SIGTERM (systemd stopping the service), SIGINT and SIGHUP end the event loop, so the
    // readers' connections are closed as the program ends.
    const StopSignals stopSignals;

    // The dashboard serves certificates, drawn with fonts but never shown.
    const std::unique_ptr<QCoreApplication> application =
        DocumentsApplication::make(argc, argv, true);

    // The records must be there and readable as they are: the dashboard never makes, migrates
    // or writes them.
    {
        RecordsStore store(commandLine->records);
        if (!store.open(RecordsStore::OpenMode::ReadOnly)) {
            print(stderr, QStringLiteral("vorn-dashboard: %1\n").arg(store.errorText()));
            return RecordsUnusable;
        }
    }

    DashboardApi::Settings settings;
    settings.location = commandLine->records;
    settings.targetYield = commandLine->targetYield;
    DashboardServer server(settings);
    QString error;
    if (!commandLine->tlsCertificate.isEmpty()) {
        const std::optional<QSslConfiguration> tls = tlsConfiguration(*commandLine, &error);
        if (!tls) {
            print(stderr, QStringLiteral("vorn-dashboard: %1\n").arg(error));
            return CannotListen;
        }
        server.serveTls(*tls);
    }
    if (!commandLine->usersFile.isEmpty()) {
        std::optional<DashboardLogin> login =
            DashboardLogin::fromFile(commandLine->usersFile, &error);
        if (!login) {
            print(stderr, QStringLiteral("vorn-dashboard: %1\n").arg(error));
            return CannotListen;
        }
        server.requireLogin(std::move(*login));
    }
    const quint16 port = server.listen(commandLine->address, commandLine->port, &error);
    if (port == 0) {
        print(stderr, QStringLiteral("vorn-dashboard: cannot listen on %1: %2\n")
                          .arg(addressText(commandLine->address, commandLine->port), error));
        return CannotListen;
    }
    if (!server.api().hasChartScript())
        print(stderr, QStringLiteral("vorn-dashboard: %1 is missing (Debian package "
                                     "libjs-chart.js): the page shows no charts\n")
                          .arg(settings.chartScript));
    print(stdout, QStringLiteral("vorn-dashboard: %1 on %2://%3/\n")
                      .arg(commandLine->records.url(),
                           commandLine->tlsCertificate.isEmpty() ? QStringLiteral("http")
                                                                 : QStringLiteral("https"),
                           addressText(commandLine->address, port)));
    QObject::connect(&stopSignals, &StopSignals::stopRequested, application.get(),
                     &QCoreApplication::quit);
    if (stopSignals.received() == 0)
        application->exec();
    return Stopped;
}
