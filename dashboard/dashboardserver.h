#pragma once

#include "dashboard/dashboardapi.h"
#include "dashboard/dashboardlogin.h"
#include "dashboard/reply.h"

#include <QAbstractHttpServer>
#include <QHash>
#include <QMap>
#include <QPointer>
#include <QSslConfiguration>

#include <chrono>

class QHostAddress;
class QTcpSocket;

// vorn-dashboard's HTTP side, on Qt HTTP Server: takes each request, refuses what it must (an
// address over 8 KiB, a method other than GET and HEAD), hands the rest to the API and writes
// the answers with the headers every answer carries. Answers are made on other threads and
// may be ready out of order; each connection gets its answers in the order it asked.
class DashboardServer : public QAbstractHttpServer
{
    Q_OBJECT

public:
    static constexpr qsizetype LongestAddress = 8 * 1024;
    // A connection without a byte either way for this long is closed, unless an answer is being
    // made for it: a request sent in part and left open holds a socket no longer than this.
    static constexpr std::chrono::seconds IdleTime{30};

    explicit DashboardServer(DashboardApi::Settings settings, QObject *parent = nullptr);

    // Before listen: every connection over TLS with this configuration (the certificate and
    // key), and every answer with HSTS.
    void serveTls(const QSslConfiguration &configuration) { m_tls = configuration; }
    // Before listen: only the users login knows are answered.
    void requireLogin(DashboardLogin login) { m_login = std::move(login); }
    // Serves on address and port (0: any free one); the port, or 0 with the reason in error.
    quint16 listen(const QHostAddress &address, quint16 port, QString *error);

    DashboardApi &api() { return m_api; }

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    // A request of a connection whose answer is not written yet.
    struct Pending
    {
        bool head = false;  // no body, only its length
        bool close = false; // the client asked to close after this answer
        bool ready = false;
        Reply reply;
    };

    // A connection's requests in the order they came, by number.
    struct Connection
    {
        quint64 id = 0; // never reused, unlike the socket's address
        QPointer<QTcpSocket> socket;
        const QHttpServerRequest *request = nullptr; // Qt's, one per connection, reused
        quint64 next = 0;                            // number of the next request
        QMap<quint64, Pending> pending;
    };

    // True while an answer for the connection is being made.
    bool isBusy(QTcpSocket *socket) const;
    void deliver(QTcpSocket *socket, quint64 connectionId, quint64 number, const Reply &reply);
    void write(Connection &connection, const Pending &pending);
    // Without a valid login: the answer to give instead of the page's, and the failure logged.
    std::optional<Reply> refusal(const QHttpServerRequest &request, QTcpSocket *socket);

    DashboardApi m_api;
    std::optional<QSslConfiguration> m_tls;
    std::optional<DashboardLogin> m_login;
    QHash<QTcpSocket *, Connection> m_connections;
    quint64 m_connectionsMade = 0;
};
