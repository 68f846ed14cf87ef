#pragma once

#include <QThread>

#include <atomic>

class QTcpServer;

// A TCP relay on 127.0.0.1 between a client and the broker, on a thread of its own, that drops
// the connection once, after the client has sent a given number of bytes through it: the
// broker gone in the middle of a burst, as the client sees it. It relays again from then on.
class DroppingRelay
{
public:
    DroppingRelay(int brokerPort, qint64 dropAfterBytes);
    ~DroppingRelay();
    DroppingRelay(const DroppingRelay &) = delete;
    DroppingRelay &operator=(const DroppingRelay &) = delete;

    int port() const { return m_port; }
    bool dropped() const { return m_dropped.load(); }

private:
    void relayNewConnections();

    const int m_brokerPort;
    const qint64 m_dropAfter;
    qint64 m_forwarded = 0; // on the relay's thread
    std::atomic<bool> m_dropped{false};
    int m_port = 0;
    QThread m_thread;
    QTcpServer *m_server;
};
