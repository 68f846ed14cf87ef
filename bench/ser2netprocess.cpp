#include "ser2netprocess.h"

#include <QFile>
#include <QTcpServer>
#include <QTest>

bool Ser2netProcess::start(const QList<std::pair<quint16, QString>> &connections)
{
    QByteArray yaml = "%YAML 1.1\n---\n";
    for (const auto &[port, connector] : connections)
        yaml += QStringLiteral("connection: &port%1\n"
                               "    accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                               "    enable: on\n"
                               "    options:\n"
                               "      kickolduser: false\n"
                               "    connector: %2\n")
                    .arg(port)
                    .arg(connector)
                    .toUtf8();
    const QString config = m_folder.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(yaml) != yaml.size())
        return false;
    file.close();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("ser2net"),
                    {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"), config,
                     QStringLiteral("-P"), m_folder.filePath(QStringLiteral("ser2net.pid"))});
    if (!m_process.waitForStarted())
        return false;
    for (const auto &connection : connections) {
        if (!waitUntilListening(connection.first))
            return false;
    }
    return true;
}

void Ser2netProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    // ser2net may sit on SIGTERM while its connector is stuck (seen with a chained server gone).
    m_process.terminate();
    if (!m_process.waitForFinished(2000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

quint16 Ser2netProcess::freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

bool Ser2netProcess::waitUntilListening(quint16 port)
{
    // ser2net says nothing when it is ready. The kernel's tables of TCP sockets show the port
    // listening (on any address); a probe connection instead would make ser2net open the
    // reader's terminal and hold it for a moment after.
    const QByteArray local =
        QStringLiteral(":%1").arg(port, 4, 16, QLatin1Char('0')).toUpper().toLatin1();
    const auto listensIn = [&local](const QString &tableName) {
        QFile table(tableName);
        if (!table.open(QIODevice::ReadOnly))
            return false;
        // "sl local_address rem_address st ...": state 0A is LISTEN.
        for (const QByteArray &line : table.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields.at(1).endsWith(local) && fields.at(3) == "0A")
                return true;
        }
        return false;
    };
    return QTest::qWaitFor(
        [&listensIn] {
            return listensIn(QStringLiteral("/proc/net/tcp")) ||
                   listensIn(QStringLiteral("/proc/net/tcp6"));
        },
        10'000);
}
