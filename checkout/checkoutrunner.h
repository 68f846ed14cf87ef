#pragma once

#include "checkout/checkoutoptions.h"
#include "checkout/checkoutrecord.h"
#include "checkout/checkoutstop.h"
#include "device/identification.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class CheckoutObserver;
class CheckoutSink;
class ExchangeTrace;
class RetestGate;
class ReaderJournal;
class SerialLine;
class WaitClock;

// Checks readers: one on the calling thread, or a list of ports at once, one thread each. A
// serial port belongs to the thread that opens it, so every reader gets its own clock and its
// own line, made and opened on its thread and closed there.
class CheckoutRunner
{
public:
    using ClockMaker = std::function<std::unique_ptr<WaitClock>()>;
    using LineMaker =
        std::function<std::unique_ptr<SerialLine>(const QString &port, WaitClock &clock)>;
    using TraceMaker = std::function<std::unique_ptr<ExchangeTrace>(int reader, const QString &port,
                                                                    const WaitClock &clock)>;
    // Why a port did not open, in the words the front end uses for it.
    using OpenFailureWording = std::function<QString(const QString &port, const SerialLine &line)>;

    CheckoutRunner(ClockMaker clocks, LineMaker lines, CheckoutOptions options,
                   CheckoutObserver &observer);

    // Who checks, where and for what: every record of this runner carries them.
    void setTool(const QString &tool, const QString &version = QStringLiteral(VORN_VERSION))
    {
        m_tool = tool;
        m_toolVersion = version;
    }
    void setStation(const QString &station) { m_station = station; }
    void setOperator(const QString &operatorName) { m_operator = operatorName; }
    void setLot(const QString &lot) { m_lot = lot; }
    void setTraceMaker(TraceMaker traces) { m_traces = std::move(traces); }
    void setOpenFailureWording(OpenFailureWording wording)
    {
        m_openFailureWording = std::move(wording);
    }
    // Answers the retest limit's question for every reader; must outlive the runner's work.
    void setRetestGate(RetestGate *gate) { m_retestGate = gate; }
    // Where each reader's checkout notes what it found before changing the reader, except on
    // the ports given, whose readers end with the process (the emulated ones).
    void setJournal(ReaderJournal *journal, const QStringList &unjournalledPorts = {})
    {
        m_journal = journal;
        m_unjournalledPorts = unjournalledPorts;
    }
    const CheckoutOptions &options() const { return m_options; }
    // The options of the checkouts started from now on (a station's plan chosen anew).
    void setOptions(const CheckoutOptions &options) { m_options = options; }
    // Hands every record to sink from now on; the sink must outlive the runner's work.
    void addSink(CheckoutSink &sink) { m_sinks.append(&sink); }

    // One reader from opening its port to closing it, on the calling thread; reader is its
    // place in the run. A stop ends it early with the reader put back as found. portOpened,
    // when given, tells whether the port opened at all.
    ReaderRecord checkReader(int reader, const QString &port, const CheckoutStop &stop,
                             bool *portOpened = nullptr) const;

    // Whether a reader answers on port, and who it is: one identification request on a line
    // opened and closed on the calling thread. Nothing when the port did not open or no reader
    // answered.
    std::optional<Identification> probe(const QString &port) const;

    // Every port at once; returns when all are done, with the readers in the order of ports.
    CheckoutRun run(const QStringList &ports);
    // The ports of the last run that did not open, in their order.
    QStringList unopenedPorts() const { return m_unopenedPorts; }

    // Stops every reader of run() between two reader operations. Safe from any thread and from
    // a signal handler.
    void requestStop() { m_stop.request(); }
    bool stopRequested() const { return m_stop.requested(); }

private:
    ReaderRecord notOpened(ReaderRecord record, const QString &reason) const;

    ClockMaker m_clocks;
    LineMaker m_lines;
    CheckoutOptions m_options;
    CheckoutObserver &m_observer;
    TraceMaker m_traces;
    RetestGate *m_retestGate = nullptr;
    OpenFailureWording m_openFailureWording;
    QString m_tool;
    QString m_toolVersion;
    QString m_station;
    QString m_operator;
    QString m_lot;
    CheckoutStop m_stop;
    QList<CheckoutSink *> m_sinks;
    ReaderJournal *m_journal = nullptr;
    QStringList m_unjournalledPorts;
    QStringList m_unopenedPorts;
};
