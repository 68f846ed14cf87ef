#pragma once

#include "checkout/checkoutoptions.h"
#include "checkout/checkoutrecord.h"
#include "device/clockselection.h"
#include "device/identification.h"
#include "device/readercommands.h"
#include "device/slotstatus.h"
#include "display/displaycommands.h"
#include "serial/devicetransaction.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class CheckoutObserver;
struct StepDeclaration;
class CheckoutStop;
class RetestGate;
class ReaderJournal;
struct FoundSettings;
class ExchangeTrace;
class SerialLine;
class WaitClock;

// The checkout of one reader on an open line, on the calling thread: the steps in their fixed
// order, each a few reader operations and a comparison, then the reader put back as it was
// found (its selected slot, and its clocks unless new ones were programmed), whatever happened.
class ReaderCheckout
{
public:
    // Every slot of the model sees each of the four clock codes once.
    static constexpr int ClockPatterns = ClockSelection::CodeCount;

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

    // Runs every step into the record and restores the reader. The record's id, station, port
    // and start are the caller's; its identity, steps, outcome and restored are filled here.
    void run(ReaderRecord &record);

    // The bytes the quick echo sends: every bit set and cleared, both edges of each half.
    static QList<quint8> quickEchoBytes();

private:
    using StepFunction = StepRecord (ReaderCheckout::*)();
    struct Step
    {
        const StepDeclaration *declared;
        StepFunction run;
    };
    static QList<Step> plan(const CheckoutOptions &options);

    StepRecord runStep(const Step &step, int index, int count);
    // Why the step must not run here (no operator; programming after a step that did not
    // pass), or nothing.
    QString notRunnable(const Step &step, const QList<StepRecord> &done) const;
    StepRecord identify();
    StepRecord status();
    StepRecord selectSlots();
    StepRecord clocks();
    StepRecord tarvik();
    StepRecord time();
    StepRecord echo();
    StepRecord lines();
    StepRecord display();
    StepRecord cards();
    StepRecord programClocks();
    StepRecord programTime();
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

    // The step's end when the reader did not answer as the protocol requires.
    // A value measured, with its unit, held against the options' limit for it, or against
    // fixedLimit where the catalogue says the limit comes from the reader or the checkout.
    Measurement measured(const QString &name, const QJsonValue &value,
                         const MeasurementLimit &fixedLimit = MeasurementLimit::none()) const;
    StepRecord replyError(DeviceError error, const QString &request) const;
    StepRecord interrupted() const;
    static StepRecord noAnswer();
    // The operator's answer, or nothing when none can come (the input ended).
    std::optional<bool> ask(const QString &question);
    // The occupancy bits of the model's slots.
    quint8 modelSlots() const;
    QString slotRange() const;
    QString modelClockText(const ClockSelection &clocks) const;

    SerialLine &m_line;
    WaitClock &m_clock;
    const CheckoutOptions &m_options;
    CheckoutObserver &m_observer;
    const CheckoutStop &m_stop;
    DeviceTransaction m_transaction;
    ReaderCommands m_reader;
    DisplayCommands m_display;
    int m_readerIndex = 0;
    QString m_port;
    RetestGate *m_retestGate = nullptr;
    QString m_tool;
    QDateTime m_started;
    ReaderJournal *m_journal = nullptr;

    Identification m_identification;
    int m_slotCount = 0;
    bool m_unknownModel = false;
    std::optional<SlotStatus> m_foundStatus;
    std::optional<ClockSelection> m_foundClocks;
    bool m_selectionTouched = false;
    bool m_clocksTouched = false;
    bool m_clocksProgrammed = false;
};
