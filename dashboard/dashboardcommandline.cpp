#include "dashboard/dashboardcommandline.h"

#include "checkout/decimaltext.h"

#include "commandline/programcommandline.h"

bool DashboardCommandLine::parseListen(const QString &text, QHostAddress &address, quint16 &port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    const std::optional<uint> number = DecimalText::inRange(text.mid(colon + 1), 0, 65535);
    if (!number)
        return false;
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':')))
        return false; // an IPv6 address goes in brackets, or its last group reads as the port
    QHostAddress parsed;
    if (host == QLatin1String("localhost"))
        parsed = QHostAddress(QHostAddress::LocalHost);
    else if (!parsed.setAddress(host))
        return false;
    address = parsed;
    port = quint16(*number);
    return true;
}

std::optional<DashboardCommandLine> DashboardCommandLine::parse(const QStringList &arguments,
                                                                const QString &environmentRecords,
                                                                int &exitCode)
{
    ProgramCommandLine commandLine(
        QStringLiteral("vorn-dashboard"),
        QStringLiteral("The line's yield and checkout records in a browser: a read-only web "
                       "server over the records that vornctl and vorn-station keep."));
    QCommandLineParser &parser = commandLine.parser();
    const QCommandLineOption records(
        QStringLiteral("records"),
        QStringLiteral("The records to show: sqlite:PATH or postgresql://[USER@]HOST[:PORT]/DB. "
                       "Default: $VORN_RECORDS, else the records file in the user's data "
                       "folder."),
        QStringLiteral("URL"));
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("The address and port to serve on, like 127.0.0.1:8080 (the default), "
                       "0.0.0.0:8080 for every network or [::1]:8080."),
        QStringLiteral("ADDRESS:PORT"));
    const QCommandLineOption targetYield(
        QStringLiteral("target-yield"),
        QStringLiteral("The first-pass yield a station should reach, from 0 to 1 (default "
                       "0.95): its tile is green at or above it, amber below, red more than 10 "
                       "points below."),
        QStringLiteral("YIELD"));
    const QCommandLineOption tlsCertificate(
        QStringLiteral("tls-cert"),
        QStringLiteral("Serve HTTPS with this certificate (PEM; with --tls-key), and tell "
                       "browsers to come back over HTTPS only (HSTS)."),
        QStringLiteral("FILE"));
    const QCommandLineOption tlsKey(QStringLiteral("tls-key"),
                                    QStringLiteral("The certificate's private key (PEM)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption users(
        QStringLiteral("users"),
        QStringLiteral("Only these users may read the page and the API: a file of NAME:HASH "
                       "lines, each hash made by --hash-password. Needs --tls-cert."),
        QStringLiteral("FILE"));
    const QCommandLineOption insecureHttp(
        QStringLiteral("insecure-http"),
        QStringLiteral("Take logins over plain HTTP: only where the network itself is trusted."));
    const QCommandLineOption hashPassword(
        QStringLiteral("hash-password"),
        QStringLiteral("Read a password from standard input and print its salted hash for the "
                       "users file."));
    parser.addOptions(
        {records, listen, targetYield, tlsCertificate, tlsKey, users, insecureHttp, hashPassword});

    if (!commandLine.parse(arguments, exitCode))
        return std::nullopt;
    const auto usageError = [&commandLine, &exitCode](const QString &text) {
        commandLine.usageError(text, exitCode);
        return std::nullopt;
    };

    DashboardCommandLine parsed;
    if (parser.isSet(records) && parser.value(records).isEmpty())
        return usageError(QStringLiteral("--records needs a URL"));
    QString error;
    const std::optional<RecordsLocation> location =
        RecordsLocation::choose(parser.value(records), false, environmentRecords, &error);
    if (!location)
        return usageError(error);
    parsed.records = *location;
    if (parser.isSet(listen) && !parseListen(parser.value(listen), parsed.address, parsed.port))
        return usageError(QStringLiteral("--listen takes ADDRESS:PORT, like 127.0.0.1:8080 or "
                                         "[::1]:8080, not '%1'")
                              .arg(parser.value(listen)));
    if (parser.isSet(targetYield)) {
        bool number = false;
        parsed.targetYield = parser.value(targetYield).toDouble(&number);
        if (!number || parsed.targetYield < 0 || parsed.targetYield > 1)
            return usageError(QStringLiteral("--target-yield takes a yield from 0 to 1, like "
                                             "0.95, not '%1'")
                                  .arg(parser.value(targetYield)));
    }
    parsed.tlsCertificate = parser.value(tlsCertificate);
    parsed.tlsKey = parser.value(tlsKey);
    parsed.usersFile = parser.value(users);
    parsed.insecureHttp = parser.isSet(insecureHttp);
    parsed.hashPassword = parser.isSet(hashPassword);
    if (parsed.tlsCertificate.isEmpty() != parsed.tlsKey.isEmpty())
        return usageError(QStringLiteral("--tls-cert and --tls-key go together"));
    if (parser.isSet(users) && parsed.usersFile.isEmpty())
        return usageError(QStringLiteral("--users needs a file"));
    // A password sent in the clear is one given to everyone on the way.
    if (!parsed.usersFile.isEmpty() && parsed.tlsCertificate.isEmpty() && !parsed.insecureHttp)
        return usageError(QStringLiteral("--users over plain HTTP would send the passwords in "
                                         "the clear: give --tls-cert and --tls-key, or "
                                         "--insecure-http on a trusted network"));
    return parsed;
}
