#include "dashboard/dashboardserver.h"

#include <QDateTime>
#include <QDebug>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QRegularExpression>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <utility>

#include <unistd.h>

namespace {

constexpr int Unauthorized = 401;
constexpr int NotFound = 404;
constexpr int TooManyRequests = 429;
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

    Listener(Busy busy, std::optional<QSslConfiguration> tls, QObject *parent)
        : QTcpServer(parent), m_busy(std::move(busy)), m_tls(std::move(tls))
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        QTcpSocket *socket = m_tls ? new QSslSocket(this) : new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            ::close(int(descriptor));
            return;
        }
        if (m_tls) {
            // The HTTP side reads what the handshake decrypts; a client that fails it is let go.
            auto *tlsSocket = static_cast<QSslSocket *>(socket);
            tlsSocket->setSslConfiguration(*m_tls);
            connect(tlsSocket, &QSslSocket::sslErrors, tlsSocket, &QSslSocket::abort);
            tlsSocket->startServerEncryption();
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
    std::optional<QSslConfiguration> m_tls;
};

} // namespace

DashboardServer::DashboardServer(DashboardApi::Settings settings, QObject *parent)
    : QAbstractHttpServer(parent), m_api(std::move(settings))
{
}

quint16 DashboardServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    auto *listener =
        new Listener([this](QTcpSocket *socket) { return isBusy(socket); }, m_tls, this);
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
    if (std::optional<Reply> refused = refusal(request, socket)) {
        respond(*refused);
    } else if (path.size() + query.size() + 1 > LongestAddress) {
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

std::optional<Reply> DashboardServer::refusal(const QHttpServerRequest &request, QTcpSocket *socket)
{
    if (!m_login)
        return std::nullopt;
    QString user;
    const QHostAddress peer = socket->peerAddress();
    const DashboardLogin::Outcome outcome =
        m_login->check(request.value(QByteArrayLiteral("Authorization")), peer,
                       QDateTime::currentDateTimeUtc(), &user);
    using Outcome = DashboardLogin::Outcome;
    if (outcome == Outcome::Allowed)
        return std::nullopt;
    // The name tried and where from, never the password.
    if (outcome != Outcome::Missing)
        qWarning().noquote() << QStringLiteral("vorn-dashboard: %1 login for '%2' from %3")
                                    .arg(outcome == Outcome::Throttled
                                             ? QStringLiteral("refused (too many failures)")
                                             : QStringLiteral("failed"),
                                         QString(user).replace(
                                             QRegularExpression(QStringLiteral("[\\x00-\\x1f]")),
                                             QStringLiteral("?")),
                                         peer.toString());
    if (outcome == Outcome::Throttled) {
        Reply reply = Reply::error(TooManyRequests,
                                   QStringLiteral("too many failed logins: try again later"));
        reply.headers.append({QByteArrayLiteral("Retry-After"),
                              QByteArray::number(DashboardLogin::FailureWindowMs / 1000)});
        return reply;
    }
    Reply reply = Reply::error(Unauthorized, QStringLiteral("log in to read the dashboard"));
    reply.headers.append({QByteArrayLiteral("WWW-Authenticate"),
                          QByteArrayLiteral("Basic realm=\"vorn-dashboard\", charset=\"UTF-8\"")});
    return reply;
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
    // A browser that met the dashboard over HTTPS never asks it over plain HTTP again.
    if (m_tls)
        responder.writeHeader(QByteArrayLiteral("Strict-Transport-Security"),
                              QByteArrayLiteral("max-age=31536000"));
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
