#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>

// The meeting point of the Publisher and the AMQP client that sends for it. The client (Qpid
// Proton, and through it OpenSSL) lives in a module of its own, libvorn-amqp.so, loaded when a
// program first publishes: a station or vornctl that names no broker never loads it. The module
// holds no code of the program's libraries; everything it needs of them it asks through these
// classes, made of plain values and virtual calls.

// The broker as the sender dials and names it, worked out by the program from its
// PublishTarget.
struct AmqpEndpoint
{
    QString url;           // the canonical URL, the spool's name for the destination
    QString connectionUrl; // "amqp://HOST:PORT"
    QString description;   // "the broker HOST:PORT"
    QString host;
    QString address; // "/queue/line1"
    QString user;    // empty: an anonymous connection
    QString password;
    bool tls = false;
    QString caFile;    // empty: the system's trust store
    QString spoolPath; // for messages
};

// A message that waits in the spool, as the sender sends it.
struct AmqpMessage
{
    qint64 sequence = 0; // its place in the spool
    QString uniqueId;
    QString messageName;
    QByteArray body; // the envelope as compact JSON
};

// What the sender asks of the program, on the sender's thread only: the spool of messages
// waiting for the endpoint, and where warnings go.
class AmqpSenderHost
{
public:
    virtual ~AmqpSenderHost() = default;

    // Opens the thread's spool; false, after a warning, when it cannot be read.
    virtual bool openSpool() = 0;
    // Closes the thread's spool, as the sender's thread ends.
    virtual void closeSpool() = 0;
    // Up to limit messages for the endpoint after the sequence number after, oldest first;
    // nothing on failure.
    virtual std::optional<QList<AmqpMessage>> next(qint64 after, int limit) = 0;
    // Takes the messages the broker has accepted out of the spool.
    virtual bool remove(const QList<qint64> &sequences) = 0;
    virtual QString spoolError() const = 0;
    virtual void warn(const QString &text) = 0;
};

// The sender: a thread of its own that sends what the spool holds to the endpoint.
class AmqpSender
{
public:
    enum class Sent
    {
        All,      // the broker has taken everything the spool held for this address
        Failed,   // sending failed for now (a warning said why); the rest stays in the spool
        TimedOut, // still sending when the time was up
    };

    virtual ~AmqpSender() = default;

    // Any thread: asks the sender to send what waits; the number names the request.
    virtual quint64 wake() = 0;
    // Any thread: how the request was answered, if it was in time.
    virtual Sent waitFor(quint64 request, std::chrono::milliseconds timeout) = 0;
    // Messages the broker has accepted since the sender was made.
    virtual int sentCount() const = 0;
};

// The module's one entry point, found by this name: a sender for endpoint that asks host, which
// outlives it.
extern "C" {
using AmqpSenderFactory = AmqpSender *(*)(const AmqpEndpoint &endpoint, AmqpSenderHost &host);
}
inline constexpr char AmqpSenderFactoryName[] = "vornAmqpSenderCreate";
