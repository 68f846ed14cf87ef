#pragma once

#include "checkout/checkoutoptions.h"
#include "checkout/checkoutrecord.h"
#include "checkout/stepcontext.h"
#include "device/readercommands.h"
#include "display/displaycommands.h"
#include "serial/devicetransaction.h"

#include <QList>
#include <QString>

class CheckoutObserver;
struct StepDeclaration;
class CheckoutStop;
class RetestGate;
class ReaderJournal;
struct FoundSettings;
class ExchangeTrace;
class SerialLine;
class WaitClock;

// The checkout of one reader on an open line, on the calling thread: the steps the options
// name, in the catalogue's order, each run by its own body, then the reader put back as it was
// found (its selected slot, and its clocks unless new ones were programmed), whatever happened.
// It knows no step by name: what a step needs and does is in its declaration.
class ReaderCheckout
{
public:
    ReaderCheckout(SerialLine &line, WaitClock &clock, const CheckoutOptions &options,
                   CheckoutObserver &observer, const CheckoutStop &stop);

    void setTrace(ExchangeTrace *trace) { m_transaction.setTrace(trace); }
    // The reader's place in its run, passed on to the observer.
    void setReaderIndex(int index) { m_readerIndex = index; }
    // Who answers the retest limit's question after the identification; without one, a limit
    // cannot be checked.
    void setRetestGate(RetestGate *gate) { m_retestGate = gate; }
    // Where what the checkout found is noted before it changes the reader, and where what an
    // unfinished checkout of the port left is found; none by default.
    void setJournal(ReaderJournal *journal) { m_journal = journal; }
    // The steps to choose from by name; the catalogue's unless told otherwise.
    void setCatalogue(const QList<StepDeclaration> *steps) { m_catalogue = steps; }

    // Runs every step into the record and restores the reader. The record's id, station, port
    // and start are the caller's; its identity, steps, outcome and restored are filled here.
    void run(ReaderRecord &record);

    // The bytes the quick echo sends: every bit set and cleared, both edges of each half.
    static QList<quint8> quickEchoBytes();

private:
    QList<const StepDeclaration *> plan() const;
    StepRecord runStep(const StepDeclaration &step, int index, int count);
    // Why the step must not run here (no operator; programming after a step that did not
    // pass), or nothing.
    QString notRunnable(const StepDeclaration &step, const QList<StepRecord> &done) const;
    // A step the reader's model cannot run: an error when the options name it, since the
    // reader would otherwise pass without it; left out as not performed when they do not.
    std::optional<StepRecord> notOnThisModel(const StepDeclaration &step) const;
    // Why the steps after this one must not run, or nothing.
    QString stopsTheRest(const StepDeclaration &step, const StepRecord &result,
                         ReaderRecord &record, bool &refused);
    bool restore();
    // After the identification, under a retest limit: why the reader must be repaired first,
    // or nothing; notes in the record whether the limit could be checked.
    QString retestRefusal(ReaderRecord &record);
    // Puts back first what an unfinished checkout left in this reader; false when that failed.
    bool putBackLeftovers(ReaderRecord &record);
    // What the reader must get back, as changed so far.
    FoundSettings changed() const;
    // Notes what the reader must get back before the change that the flags already say.
    void noteChange();
    std::optional<bool> ask(const QString &question);

    SerialLine &m_line;
    WaitClock &m_clock;
    const CheckoutOptions &m_options;
    CheckoutObserver &m_observer;
    const CheckoutStop &m_stop;
    DeviceTransaction m_transaction;
    ReaderCommands m_reader;
    DisplayCommands m_display;
    StepContext m_context;
    const QList<StepDeclaration> *m_catalogue;
    int m_readerIndex = 0;
    QString m_port;
    RetestGate *m_retestGate = nullptr;
    QString m_tool;
    QDateTime m_started;
    ReaderJournal *m_journal = nullptr;
};
