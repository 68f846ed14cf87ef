#include "dashboard/dashboardcommandline.h"
#include "dashboard/dashboardserver.h"
#include "process/stopsignals.h"
#include "store/recordsstore.h"

#include <QGuiApplication>

#include <cstdio>

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

    // SIGTERM (systemd stopping the service), SIGINT and SIGHUP end the event loop, so the
    // readers' connections are closed as the program ends.
    const StopSignals stopSignals;

    // A certificate is drawn with fonts but never shown: no display, as a service has none.
    // Without a session Qt would remark on the missing runtime folder, which a PDF never uses.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static const QtMessageHandler standard = qInstallMessageHandler(nullptr);
    qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            if (!message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
                standard(type, context, message);
        });
    QGuiApplication application(argc, argv);

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
    print(stdout, QStringLiteral("vorn-dashboard: %1 on http://%2/\n")
                      .arg(commandLine->records.url(), addressText(commandLine->address, port)));
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &application,
                     &QCoreApplication::quit);
    if (stopSignals.received() == 0)
        application.exec();
    return Stopped;
}
