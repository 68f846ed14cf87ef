#pragma once

#include "checkout/checkoutsink.h"

#include <QString>
#include <QStringList>

class Publisher;

// Puts every reader's checkout on the line's message bus as it happens: WorkStarted when the
// reader's checkout starts, UnitsTested and WorkCompleted when it ends (CheckoutOutputs hands
// the end over only once the reader's record is kept). Each is in the spool, on the caller's
// thread, before the call returns; the publisher's thread sends them.
//
//     Publisher publisher(target);
//     PublishSink sink(publisher, handle, ports);
//     runner.addSink(sink);
class PublishSink final : public CheckoutSink
{
public:
    // handle: the station's CFX handle, the Source of every message. ports: the station's
    // ports in their order, which gives each reader its position (1 first).
    PublishSink(Publisher &publisher, QString handle, QStringList ports);

    void readerStarted(const ReaderRecord &record) override;
    void readerChecked(const ReaderRecord &record) override;

private:
    Publisher &m_publisher;
    const QString m_handle;
    const QStringList m_ports;
};
