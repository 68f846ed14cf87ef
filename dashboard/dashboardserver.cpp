#include "dashboard/dashboardserver.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <utility>

#include <unistd.h>

namespace {

constexpr int NotFound = 404;
constexpr int MethodNotAllowed = 405;
constexpr int UriTooLong = 414;

// Every answer: nothing but this origin's own scripts, styles and images, and no guessing of
// types.
const QList<QPair<QByteArray, QByteArray>> CommonHeaders{
    {QByteArrayLiteral("Content-Security-Policy"), QByteArrayLiteral("default-src 'self'")},
    {QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff")},
};

bool asksToClose(const QHttpServerRequest &request)
{
    return request.value(QByteArrayLiteral("Connection")).toLower().contains("close");
}

// The listening socket: every connection it accepts carries a timer that closes it once it
// has been idle too long.
class Listener : public QTcpServer
{
public:
    using Busy = std::function<bool(QTcpSocket *)>;

    Listener(Busy busy, QObject *parent) : QTcpServer(parent), m_busy(std::move(busy)) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            ::close(int(descriptor));
            return;
        }
        auto *idle = new QTimer(socket);
        idle->setSingleShot(true);
        idle->setInterval(DashboardServer::IdleTime);
        const auto restart = [idle] { idle->start(); };
        connect(socket, &QIODevice::readyRead, idle, restart);
        connect(socket, &QIODevice::bytesWritten, idle, restart);
        connect(idle, &QTimer::timeout, socket, [this, socket, idle] {
            if (m_busy(socket))
                idle->start();
            else
                socket->disconnectFromHost();
        });
        idle->start();
        addPendingConnection(socket);
    }

private:
    Busy m_busy;
};

} // namespace

DashboardServer::DashboardServer(DashboardApi::Settings settings, QObject *parent)
    : QAbstractHttpServer(parent), m_api(std::move(settings))
{
}

quint16 DashboardServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    auto *listener = new Listener([this](QTcpSocket *socket) { return isBusy(socket); }, this);
    if (!listener->listen(address, port)) {
        *error = listener->errorString();
        delete listener;
        return 0;
    }
    bind(listener);
    return listener->serverPort();
}

bool DashboardServer::isBusy(QTcpSocket *socket) const
{
    const auto found = m_connections.constFind(socket);
    return found != m_connections.cend() && !found->pending.isEmpty();
}

bool DashboardServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    auto found = m_connections.find(socket);
    if (found == m_connections.end()) {
        found =
            m_connections.insert(socket, Connection{++m_connectionsMade, socket, &request, 0, {}});
        connect(socket, &QObject::destroyed, this,
                [this, socket] { m_connections.remove(socket); });
    }
    Connection &connection = *found;
    const quint64 number = connection.next++;
    Pending &pending = connection.pending[number];
    pending.head = request.method() == QHttpServerRequest::Method::Head;
    pending.close = asksToClose(request);

    const QUrl &url = request.url();
    const QByteArray path = url.path(QUrl::FullyEncoded).toUtf8();
    const QByteArray query = url.query(QUrl::FullyEncoded).toUtf8();
    const auto respond = [this, socket, id = connection.id, number](const Reply &reply) {
        deliver(socket, id, number, reply);
    };
    if (path.size() + query.size() + 1 > LongestAddress) {
        respond(Reply::error(
            UriTooLong, QStringLiteral("the address is longer than %1 bytes").arg(LongestAddress)));
    } else if (request.method() != QHttpServerRequest::Method::Get &&
               request.method() != QHttpServerRequest::Method::Head) {
        Reply reply = Reply::error(MethodNotAllowed,
                                   QStringLiteral("only GET and HEAD: the dashboard only reads"));
        reply.headers.append({QByteArrayLiteral("Allow"), QByteArrayLiteral("GET, HEAD")});
        respond(reply);
    } else {
        m_api.answer(path, query, respond);
    }
    return true;
}

void DashboardServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    // Every request is handled above; this is what Qt would call otherwise.
    QHttpServerResponder responder = makeResponder(request, socket);
    const Reply reply = Reply::error(NotFound, QStringLiteral("nothing here"));
    responder.write(reply.body, reply.contentType, QHttpServerResponder::StatusCode::NotFound);
}

void DashboardServer::deliver(QTcpSocket *socket, quint64 connectionId, quint64 number,
                              const Reply &reply)
{
    // The connection may have gone while the answer was made.
    const auto found = m_connections.find(socket);
    if (found == m_connections.end() || found->id != connectionId || !found->socket)
        return;
    Connection &connection = *found;
    const auto pending = connection.pending.find(number);
    if (pending == connection.pending.end())
        return;
    pending->ready = true;
    pending->reply = reply;
    while (!connection.pending.isEmpty() && connection.pending.first().ready) {
        const Pending next = connection.pending.take(connection.pending.firstKey());
        write(connection, next);
        if (next.close) {
            connection.pending.clear();
            connection.socket->disconnectFromHost();
            return;
        }
    }
}

void DashboardServer::write(Connection &connection, const Pending &pending)
{
    QHttpServerResponder responder = makeResponder(*connection.request, connection.socket);
    const Reply &reply = pending.reply;
    responder.writeStatusLine(QHttpServerResponder::StatusCode(reply.status));
    responder.writeHeader(QByteArrayLiteral("Content-Type"), reply.contentType);
    responder.writeHeader(QByteArrayLiteral("Content-Length"),
                          QByteArray::number(reply.body.size()));
    for (const auto &[name, value] : CommonHeaders)
        responder.writeHeader(name, value);
    bool cacheControl = false;
    for (const auto &[name, value] : reply.headers) {
        responder.writeHeader(name, value);
        cacheControl = cacheControl || name == "Cache-Control";
    }
    // The figures change with every checkout: no copy of an answer is kept anywhere.
    if (!cacheControl)
        responder.writeHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store"));
    if (pending.close)
        responder.writeHeader(QByteArrayLiteral("Connection"), QByteArrayLiteral("close"));
    // A HEAD is answered with the headers of its GET, the length included, and no body.
    responder.writeBody(pending.head ? QByteArray() : reply.body);
}
