#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QPair>
#include <QTcpSocket>

#include <optional>

// An HTTP/1.1 answer as it came over the wire.
struct HttpAnswer
{
    int status = 0;
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case
    QByteArray body;

    QByteArray header(const QByteArray &name) const
    {
        for (const auto &[key, value] : headers) {
            if (key == name.toLower())
                return value;
        }
        return {};
    }
    int headerCount(const QByteArray &name) const
    {
        int count = 0;
        for (const auto &each : headers)
            count += each.first == name.toLower() ? 1 : 0;
        return count;
    }
};

// A client that writes requests as given, byte for byte, and reads the answers: enough HTTP to
// send what a browser would not (a wrong method, an address of 9 KiB, half a request).
class HttpConnection
{
public:
    static constexpr int WaitMs = 30'000;

    bool open(quint16 port)
    {
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        return m_socket.waitForConnected(WaitMs);
    }

    bool send(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        return m_socket.waitForBytesWritten(WaitMs) || m_socket.bytesToWrite() == 0;
    }

    // The next answer on the connection; nothing when it did not come whole in time. A HEAD's
    // answer has no body whatever its length says.
    std::optional<HttpAnswer> read(bool head = false)
    {
        const QDeadlineTimer deadline(WaitMs);
        qsizetype end = -1;
        while ((end = m_buffer.indexOf("\r\n\r\n")) < 0) {
            if (!more(deadline))
                return std::nullopt;
        }
        HttpAnswer answer;
        const QList<QByteArray> lines = m_buffer.left(end).split('\n');
        const QList<QByteArray> status = lines.first().trimmed().split(' ');
        if (status.size() < 2 || !status.first().startsWith("HTTP/1."))
            return std::nullopt;
        answer.status = status.at(1).toInt();
        for (qsizetype index = 1; index < lines.size(); ++index) {
            const QByteArray line = lines.at(index).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                answer.headers.append(
                    {line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
        }
        m_buffer.remove(0, end + 4);
        const qsizetype length = head ? 0 : answer.header("content-length").toLongLong();
        while (m_buffer.size() < length) {
            if (!more(deadline))
                return std::nullopt;
        }
        answer.body = m_buffer.left(length);
        m_buffer.remove(0, length);
        return answer;
    }

    // True once the other end has closed the connection, waiting at most ms for it.
    bool closedWithin(int ms)
    {
        const QDeadlineTimer deadline(ms);
        while (m_socket.state() == QAbstractSocket::ConnectedState) {
            m_buffer += m_socket.readAll();
            if (!m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))) &&
                deadline.hasExpired())
                break;
        }
        return m_socket.state() != QAbstractSocket::ConnectedState;
    }

    QTcpSocket &socket() { return m_socket; }

private:
    bool more(const QDeadlineTimer &deadline)
    {
        if (m_socket.bytesAvailable() == 0 &&
            !m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            return false;
        m_buffer += m_socket.readAll();
        return true;
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
};

// One request on a connection of its own: "GET /api/report" and the like, closed after.
inline std::optional<HttpAnswer> httpRequest(quint16 port, const QByteArray &method,
                                             const QByteArray &target)
{
    HttpConnection connection;
    if (!connection.open(port) ||
        !connection.send(method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"))
        return std::nullopt;
    return connection.read(method == "HEAD");
}
