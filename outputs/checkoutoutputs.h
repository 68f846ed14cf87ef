#pragma once

#include "checkout/checkoutsink.h"
#include "publish/publishtarget.h"
#include "store/recordkeeper.h"
#include "store/recordslocation.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class CheckoutRunner;
class JsonSink;
class JUnitSink;
class Publisher;
class PublishSink;
class QIODevice;
class QTimer;
class RecordKeeping;

// Every output of a checkout, assembled once for every front end from what its command line
// asked for: the JSON document, the JUnit file, the records and the line's message bus. A
// front end makes one, attaches each runner to it and, when its checkouts are over, asks
// finish() what became of them.
//
// Each reader's record is kept as that reader finishes (a run killed part-way still has the
// records of the readers done by then), and its end (UnitsTested, WorkCompleted) goes to the
// publishing spool only once the record is kept, in the store or the outbox: the message bus
// never hears of a finished checkout that the records lack. WorkStarted goes out as the reader
// starts.
//
//     CheckoutOutputs outputs(choices);
//     if (const QString problem = outputs.prepare(); !problem.isEmpty()) ...
//     outputs.attach(runner);
//     runner.run(ports);
//     const CheckoutOutputs::Finished finished = outputs.finish(std::chrono::seconds(15));
//
// A further output is a field of Choices, read once in the constructor, and a sink attach()
// registers (or a step in readerChecked() where it must follow the record), so that neither
// front end changes for it.
class CheckoutOutputs final : private CheckoutSink
{
public:
    // What the front end's command line asked for.
    struct Choices
    {
        QString program;         // names the tool in every record and leads every warning
        QString station;         // as given; empty: the host's name
        QStringList ports;       // the station's ports in order: a reader's position on the bus
        RecordsLocation records; // none: no records kept
        std::optional<PublishTarget> publish; // nothing: no message bus
        QString cfxHandle;                    // empty: Vorn.Station.<station>
        QIODevice *json = nullptr; // the whole run as one JSON object once every reader is done
        QString junitPath;         // empty: no JUnit report
        // A station wakes the publisher this often for what the broker did not take; zero:
        // only at the next message.
        std::chrono::milliseconds publishRetry{0};
        // Each warning line (with the program's name in front), from whichever thread it
        // arises on; without a handler they are kept for finish().
        std::function<void(const QString &line)> warn;
    };

    // What became of the outputs.
    struct Finished
    {
        RecordKeeper::Kept records; // of the readers' records
        int published = 0;          // messages the broker has taken
        int waiting = 0;            // messages left in the spool for later; -1: unreadable
        int messagesLost = 0;       // messages not even in the spool
        bool publishedAll = true;   // the broker took every message in the wait given
        QString junitFailure;       // why the JUnit report was not written
        QStringList warnings;       // the lines kept for the caller, in order

        // A record or a message is lost for good: kept neither in the records nor in the
        // outbox, or not even in the spool.
        bool lostAny() const { return records.lost > 0 || messagesLost > 0; }
    };

    explicit CheckoutOutputs(Choices choices);
    ~CheckoutOutputs() override;
    CheckoutOutputs(const CheckoutOutputs &) = delete;
    CheckoutOutputs &operator=(const CheckoutOutputs &) = delete;

    // The records are kept by keeping (a records thread of the front end's) instead of on each
    // reader's thread; keeping must outlive every checkout and hand back every record it took
    // before this object ends.
    void keepThrough(RecordKeeping &keeping) { m_keeping = &keeping; }

    // The station every record names: the one given, else the host's name.
    const QString &station() const { return m_station; }
    // Everything that can be checked before a port opens (the JUnit file can be written);
    // on failure, what is wrong.
    QString prepare() const;
    // Makes runner's records carry the program and station, word a port that did not open as
    // every front end does, and hand each reader to these outputs.
    void attach(CheckoutRunner &runner);
    // Waits up to publishWait for the broker to take what waits, then says what was kept,
    // queued, published or lost.
    Finished finish(std::chrono::milliseconds publishWait);

private:
    void readerStarted(const ReaderRecord &record) override;
    void readerChecked(const ReaderRecord &record) override;
    void kept(const ReaderRecord &record, const RecordKeeper::Kept &kept);
    RecordKeeper::Kept keepHere(const ReaderRecord &record);
    void warn(const QString &lines);
    void publishEnded(const ReaderRecord &record);

    const Choices m_choices;
    const QString m_station;
    std::unique_ptr<JsonSink> m_json;
    std::unique_ptr<JUnitSink> m_junit;
    RecordKeeping *m_keeping = nullptr;

    // The outcome so far, added to from the readers' threads and the records thread; made
    // before the publisher, so that they outlive its thread.
    std::mutex m_lock;
    RecordKeeper::Kept m_kept;
    QStringList m_warnings;
    std::atomic<bool> m_publishWarned{false}; // the publisher said why it did not send

    std::unique_ptr<Publisher> m_publisher;
    // Its WorkStarted as a reader starts; UnitsTested and WorkCompleted once its record is kept.
    std::unique_ptr<PublishSink> m_publish;
    std::unique_ptr<QTimer> m_publishRetry;
};
