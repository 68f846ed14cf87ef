#pragma once

#include "records/recordslocation.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>

// vorn-dashboard's command line: where the records are (--records URL, else VORN_RECORDS, else
// vornctl's default file) and where to listen (--listen ADDRESS:PORT, default 127.0.0.1:8080).
struct DashboardCommandLine
{
    static constexpr quint16 DefaultPort = 8080;

    RecordsLocation records;
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = DefaultPort; // 0: any free port, named when the dashboard starts

    // Nothing when the program should end at once (help, version or a usage error, which is
    // exit code 2); exitCode then says how. environmentRecords is VORN_RECORDS.
    static std::optional<DashboardCommandLine>
    parse(const QStringList &arguments, const QString &environmentRecords, int &exitCode);

    // "127.0.0.1:8080", "0.0.0.0:80", "[::1]:8080", "localhost:8080"; false when it is none of
    // these.
    static bool parseListen(const QString &text, QHostAddress &address, quint16 &port);
};
