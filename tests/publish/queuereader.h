#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <chrono>
#include <memory>

// A real AMQP 1.0 receiver (Qpid Proton) on a queue of the test broker, on a thread of its
// own: it accepts every message as it arrives and keeps it for the test.
class QueueReader
{
public:
    struct Received
    {
        QJsonObject envelope; // the body, read as JSON
        QString messageId;
        QString subject;
        QString contentType;
        bool durable = false;
        bool dataSection = false; // the body came as bytes, not as an AMQP value
    };

    // Reads /queue/NAME on the broker at 127.0.0.1:port as guest; made when its link is open
    // (or after 20 s).
    QueueReader(int port, const QString &queue);
    ~QueueReader();
    QueueReader(const QueueReader &) = delete;
    QueueReader &operator=(const QueueReader &) = delete;

    // Waits until count messages have come (or the time is up) and hands over those that came,
    // oldest first.
    QList<Received> take(int count, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Waits for the receiver's link to be open: from then on the queue exists.
    bool waitUntilOpen(std::chrono::milliseconds timeout = std::chrono::seconds(20));

private:
    class Handler;
    std::unique_ptr<Handler> m_handler;
};
