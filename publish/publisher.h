#pragma once

#include "publish/amqpsender.h"
#include "publish/publishtarget.h"
#include "store/recordslocation.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

// Publishes messages to one address on an AMQP 1.0 broker without ever losing one: each is
// first written to the spool on the caller's thread, durable when publish() returns, and then
// sent, in the order of the spool, by an AMQP client (Qpid Proton) on a thread of its own. A
// message leaves the spool only once the broker has accepted it, so what a broker that was
// away never took goes out, in its original order and with its UniqueID unchanged, the next
// time the sender is woken: at the next checkout, by a station's timer, or by
// `vornctl records publish --pending`.
//
// The connection is made when something waits and kept open between checkouts. When it
// fails, one warning goes to the warning handler for each outage, naming the broker and the
// reason (refused, unreachable, wrong password) and what waits in the spool.
class Publisher
{
public:
    using WarningHandler = std::function<void(const QString &warning)>;

    explicit Publisher(PublishTarget target, RecordsLocation spool = defaultSpoolLocation());
    ~Publisher();
    Publisher(const Publisher &) = delete;
    Publisher &operator=(const Publisher &) = delete;

    static RecordsLocation defaultSpoolLocation();

    const PublishTarget &target() const;
    const RecordsLocation &spoolLocation() const;
    // Called on the sender's thread, or on the caller's for a message that could not be
    // spooled; set it before the first publish().
    void setWarningHandler(WarningHandler handler);

    // Keeps the envelopes in the spool, in their order, and wakes the sender. False, with a
    // warning, when they could not be kept: then they are lost.
    bool publish(const QList<QJsonObject> &envelopes);
    // Wakes the sender: it connects if anything waits, and sends it.
    void retry();
    // All, Failed (a warning said why; the rest stays in the spool) or TimedOut.
    using Sent = AmqpSender::Sent;
    // Wakes the sender and waits until it has sent everything the spool holds for this
    // address, or has failed, or the time is up.
    Sent sendWaiting(std::chrono::milliseconds timeout);

    // Messages the broker has accepted since this publisher was made.
    int sentCount() const;
    // Messages that could not be kept in the spool.
    int lostCount() const;
    // What waits in the spool for this address; -1 when the spool cannot be read.
    int waitingCount() const;
    // What waits in the spool for other addresses than destination (a broker URL mistyped
    // once), by address.
    static QMap<QString, int> waitingElsewhere(const RecordsLocation &spool,
                                               const QString &destination);
    // The words that say so, with how to send those messages here or discard them; empty
    // when nothing waits elsewhere.
    static QString elsewhereText(const QMap<QString, int> &elsewhere);

private:
    class Sender;
    std::unique_ptr<Sender> m_sender;
};
