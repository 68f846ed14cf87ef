#pragma once

#include "store/recordslocation.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>

// vorn-dashboard's command line: where the records are (--records URL, else VORN_RECORDS, else
// vornctl's default file), where to listen (--listen ADDRESS:PORT, default 127.0.0.1:8080) and
// the first-pass yield the stations are held against (--target-yield, default 0.95).
struct DashboardCommandLine
{
    static constexpr quint16 DefaultPort = 8080;

    RecordsLocation records;
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = DefaultPort; // 0: any free port, named when the dashboard starts
    double targetYield = 0.95;  // --target-yield: the first-pass yield a station should reach
    QString tlsCertificate;     // --tls-cert: HTTPS with this certificate (PEM) ...
    QString tlsKey;             // --tls-key: ... and its key (PEM)
    QString usersFile;          // --users: who may log in; empty: anyone who reaches the port
    bool insecureHttp = false;  // --insecure-http: a login over plain HTTP, the network trusted
    bool hashPassword = false;  // --hash-password: print a users file's hash and end

    // Nothing when the program should end at once (help, version or a usage error, which is
    // exit code 2); exitCode then says how. environmentRecords is VORN_RECORDS.
    static std::optional<DashboardCommandLine>
    parse(const QStringList &arguments, const QString &environmentRecords, int &exitCode);

    // "127.0.0.1:8080", "0.0.0.0:80", "[::1]:8080", "localhost:8080"; false when it is none of
    // these.
    static bool parseListen(const QString &text, QHostAddress &address, quint16 &port);
};
