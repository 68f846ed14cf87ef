#include "droppingrelay.h"

#include <QTcpServer>
#include <QTcpSocket>

DroppingRelay::DroppingRelay(int brokerPort, qint64 dropAfterBytes)
    : m_brokerPort(brokerPort), m_dropAfter(dropAfterBytes), m_server(new QTcpServer)
{
    m_server->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_server, &QObject::deleteLater);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_server,
        [this] {
            m_server->listen(QHostAddress::LocalHost);
            m_port = m_server->serverPort();
            QObject::connect(m_server, &QTcpServer::newConnection, m_server,
                             [this] { relayNewConnections(); });
        },
        Qt::BlockingQueuedConnection);
}

DroppingRelay::~DroppingRelay()
{
    m_thread.quit();
    m_thread.wait();
}

void DroppingRelay::relayNewConnections()
{
    while (QTcpSocket *client = m_server->nextPendingConnection()) {
        auto *broker = new QTcpSocket(client);
        broker->connectToHost(QHostAddress::LocalHost, quint16(m_brokerPort));
        QObject::connect(client, &QTcpSocket::readyRead, broker, [this, client, broker] {
            const QByteArray bytes = client->readAll();
            m_forwarded += bytes.size();
            if (!m_dropped.load() && m_forwarded >= m_dropAfter) {
                m_dropped.store(true);
                broker->abort();
                client->abort();
                client->deleteLater();
                return;
            }
            broker->write(bytes);
        });
        QObject::connect(broker, &QTcpSocket::readyRead, client,
                         [client, broker] { client->write(broker->readAll()); });
        QObject::connect(broker, &QTcpSocket::disconnected, client,
                         [client] { client->disconnectFromHost(); });
        QObject::connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    }
}
