#include "checkout/readercheckout.h"

#include "checkout/checkoutobserver.h"
#include "checkout/checkoutstop.h"
#include "checkout/readerjournal.h"
#include "checkout/retestgate.h"
#include "checkout/settingsrestore.h"
#include "checkout/stepcatalogue.h"
#include "device/readerprotocol.h"
#include "device/timesetting.h"
#include "serial/serialline.h"
#include "serial/waitclock.h"

#include <array>
#include <cmath>

namespace RP = ReaderProtocol;

namespace {

const QString Interrupted = QStringLiteral("interrupted");

StepRecord stepOf(StepOutcome outcome, const QString &message = {})
{
    StepRecord step;
    step.outcome = outcome;
    step.message = message;
    return step;
}

// A step that measured: it passes when every measurement is within its limit, and its message
// names each value outside its limit; what the step saw besides (detail) follows.
StepRecord measuredStep(const QList<Measurement> &measurements, const QString &detail = {})
{
    StepRecord step;
    step.setMeasurements(measurements);
    QStringList failures;
    for (const Measurement &measurement : measurements) {
        if (measurement.passed())
            continue;
        const MeasurementDeclaration *declared = StepCatalogue::measurement(measurement.name);
        failures.append(QStringLiteral("%1 %2, not %3")
                            .arg(declared ? declared->title : measurement.name,
                                 measurement.valueText(),
                                 measurement.limit.text(measurement.unit)));
    }
    step.outcome = failures.isEmpty() ? StepOutcome::Pass : StepOutcome::Fail;
    if (!failures.isEmpty())
        step.message = failures.join(QStringLiteral("; ")) +
                       (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail);
    return step;
}

StepRecord skipped(const QString &message)
{
    return stepOf(StepOutcome::Skip, message);
}

QString hexByte(quint8 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(2, u'0');
}

QString cardsText(quint8 occupancy)
{
    const QList<int> numbers = SlotStatus::occupiedSlotNumbers(occupancy);
    if (numbers.isEmpty())
        return QStringLiteral("none");
    QStringList texts;
    for (const int number : numbers)
        texts.append(QString::number(number));
    return texts.join(QLatin1Char(' '));
}

// The time setting in seconds to the hundredth: a count above 428 whole seconds' worth shows as
// more than 428 s, which the tool could never have set.
double secondsOf(quint16 counts)
{
    return std::round(double(counts) * 100.0 / TimeSetting::CountsPerSecond) / 100.0;
}

double megahertzOf(quint8 code)
{
    return ClockSelection::frequencyText(code).toDouble();
}

ReaderOutcome outcomeOf(const QList<StepRecord> &steps, bool aborted, bool refused)
{
    if (aborted)
        return ReaderOutcome::Aborted;
    if (refused)
        return ReaderOutcome::Refused;
    bool failed = false;
    for (const StepRecord &step : steps) {
        if (step.outcome == StepOutcome::Error)
            return ReaderOutcome::Error;
        failed = failed || step.outcome == StepOutcome::Fail;
    }
    return failed ? ReaderOutcome::Fail : ReaderOutcome::Pass;
}

} // namespace

ReaderCheckout::ReaderCheckout(SerialLine &line, WaitClock &clock, const CheckoutOptions &options,
                               CheckoutObserver &observer, const CheckoutStop &stop)
    : m_line(line), m_clock(clock), m_options(options), m_observer(observer), m_stop(stop),
      m_transaction(line, clock), m_reader(m_transaction), m_display(m_transaction)
{
}

QList<ReaderCheckout::Step> ReaderCheckout::plan(const CheckoutOptions &options)
{
    static const QMap<QString, StepFunction> functions{
        {QStringLiteral("identify"), &ReaderCheckout::identify},
        {QStringLiteral("status"), &ReaderCheckout::status},
        {QStringLiteral("select-slot"), &ReaderCheckout::selectSlots},
        {QStringLiteral("clocks"), &ReaderCheckout::clocks},
        {QStringLiteral("tarvik"), &ReaderCheckout::tarvik},
        {QStringLiteral("time"), &ReaderCheckout::time},
        {QStringLiteral("echo"), &ReaderCheckout::echo},
        {QStringLiteral("lines"), &ReaderCheckout::lines},
        {QStringLiteral("display"), &ReaderCheckout::display},
        {QStringLiteral("cards"), &ReaderCheckout::cards},
        {QStringLiteral("program-clocks"), &ReaderCheckout::programClocks},
        {QStringLiteral("program-time"), &ReaderCheckout::programTime},
    };
    QList<Step> steps;
    for (const QString &name : options.stepNames()) {
        const StepDeclaration *declared = StepCatalogue::step(name);
        const StepFunction run = functions.value(name);
        if (declared && run)
            steps.append({declared, run});
    }
    return steps;
}

QList<quint8> ReaderCheckout::quickEchoBytes()
{
    return {0x00, 0x01, 0x55, 0x7F, 0x80, 0xAA, 0xFE, 0xFF};
}

void ReaderCheckout::run(ReaderRecord &record)
{
    m_port = record.port;
    m_tool = record.tool;
    m_started = record.started;
    const QList<Step> steps = plan(m_options);
    QString skipReason; // set once the remaining steps cannot or must not run
    bool aborted = false;
    bool refused = false;
    if (m_options.retestLimit && m_retestGate)
        m_retestGate->readerIdentifying();
    for (int index = 0; index < steps.size(); ++index) {
        const Step &step = steps.at(index);
        if (skipReason.isEmpty() && m_stop.requested()) {
            aborted = true;
            skipReason = Interrupted;
        }
        const QString notNow = skipReason.isEmpty() ? notRunnable(step, record.steps) : skipReason;
        StepRecord result =
            notNow.isEmpty() ? runStep(step, index, int(steps.size())) : skipped(notNow);
        if (step.run == &ReaderCheckout::identify && m_identification.ok() &&
            !putBackLeftovers(record))
            result = stepOf(StepOutcome::Error,
                            QStringLiteral("an unfinished checkout left the reader changed and "
                                           "it could not be put back"));
        result.name = step.declared->name;
        record.steps.append(result);
        m_observer.stepFinished(m_readerIndex, m_port, index, int(steps.size()), result);

        if (!notNow.isEmpty())
            continue;
        if (m_stop.requested()) {
            aborted = true;
            skipReason = Interrupted;
        } else if (result.outcome == StepOutcome::Error) {
            skipReason = QStringLiteral("not run: %1 had an error").arg(result.name);
        } else if (m_unknownModel) {
            skipReason = QStringLiteral("not run: the model is not known");
        } else if (result.name == QLatin1String("identify") &&
                   result.outcome == StepOutcome::Pass && m_options.retestLimit) {
            record.refusal = retestRefusal(record);
            refused = !record.refusal.isEmpty();
            if (refused)
                skipReason = QStringLiteral("not run: ") + record.refusal;
        }
    }
    if (m_identification.version)
        record.firmware = *m_identification.version;
    if (m_identification.modelType)
        record.modelType = *m_identification.modelType;
    if (m_identification.serialNumber)
        record.serialNumber = *m_identification.serialNumber;
    record.restored = restore();
    record.outcome = outcomeOf(record.steps, aborted, refused);
}

QString ReaderCheckout::retestRefusal(ReaderRecord &record)
{
    if (!m_identification.serialNumber)
        return {};
    const RetestGate::Answer answer =
        m_retestGate ? m_retestGate->ask(*m_identification.serialNumber, *m_options.retestLimit)
                     : RetestGate::Answer{};
    record.retestLimitChecked = answer.checked;
    return answer.refusal;
}

QString ReaderCheckout::notRunnable(const Step &step, const QList<StepRecord> &done) const
{
    if (step.declared->needsOperator() && !m_options.prompt)
        return QStringLiteral("needs an operator to %1").arg(step.declared->operatorTask);
    // What is stored in a reader stays there: only a reader that passed everything so far is
    // programmed.
    if (!step.declared->programs)
        return {};
    for (const StepRecord &earlier : done) {
        if (earlier.outcome == StepOutcome::Fail || earlier.outcome == StepOutcome::Error)
            return QStringLiteral("not run: %1 did not pass").arg(earlier.name);
    }
    return {};
}

StepRecord ReaderCheckout::runStep(const Step &step, int index, int count)
{
    m_observer.stepStarted(m_readerIndex, m_port, index, count, step.declared->name);
    const qint64 start = m_clock.elapsedMicroseconds();
    StepRecord result = (this->*step.run)();
    result.durationMs = (m_clock.elapsedMicroseconds() - start + 500) / 1000;
    return result;
}

StepRecord ReaderCheckout::identify()
{
    m_identification = m_reader.identify();
    if (!m_identification.ok())
        return replyError(m_identification.error, QStringLiteral("the identification"));
    const quint8 model = *m_identification.modelType;
    // A model of neither size has no slots to check: the steps after this one cannot run.
    m_unknownModel = model != RP::FourSlotModel && model != RP::EightSlotModel;
    m_slotCount = m_unknownModel ? 0 : model;
    return measuredStep({measured(QStringLiteral("model_type"), int(model)),
                         measured(QStringLiteral("firmware"), int(*m_identification.version)),
                         measured(QStringLiteral("serial"), int(*m_identification.serialNumber))});
}

StepRecord ReaderCheckout::status()
{
    const DeviceResult<SlotStatus> status = m_reader.readStatus();
    if (!status.ok())
        return replyError(status.error, QStringLiteral("the status request"));
    m_foundStatus = status.value;
    const int selected = status.value.selectedSlot + 1;
    return measuredStep({measured(QStringLiteral("occupancy"), int(status.value.occupancy)),
                         measured(QStringLiteral("selected_slot"), selected,
                                  MeasurementLimit::range(1, m_slotCount))},
                        QStringLiteral("a %1 has no slot %2")
                            .arg(Identification::modelName(quint8(m_slotCount)))
                            .arg(selected));
}

StepRecord ReaderCheckout::selectSlots()
{
    // Starting after the slot found selected and ending on it, so that every selection is a
    // change the status must show.
    const int found = m_foundStatus->selectedSlot < m_slotCount ? m_foundStatus->selectedSlot : 0;
    QStringList notFollowed;
    for (int step = 1; step <= m_slotCount; ++step) {
        if (m_stop.requested())
            return interrupted();
        const int slot = (found + step) % m_slotCount;
        if (!m_selectionTouched) {
            m_selectionTouched = true;
            noteChange();
        }
        m_reader.selectSlot(quint8(slot));
        const DeviceResult<SlotStatus> status = m_reader.readStatus();
        if (!status.ok())
            return replyError(status.error,
                              QStringLiteral("the status after selecting slot %1").arg(slot + 1));
        if (status.value.selectedSlot != slot)
            notFollowed.append(QStringLiteral("slot %1 (slot %2 stayed selected)")
                                   .arg(slot + 1)
                                   .arg(status.value.selectedSlot + 1));
    }
    return measuredStep(
        {measured(QStringLiteral("slots_selectable"), m_slotCount - int(notFollowed.size()),
                  MeasurementLimit::equals(m_slotCount))},
        QStringLiteral("not selectable: %1").arg(notFollowed.join(", ")));
}

StepRecord ReaderCheckout::clocks()
{
    const DeviceResult<ClockSelection> found = m_reader.readClocks();
    if (!found.ok())
        return replyError(found.error, QStringLiteral("the clock request"));
    m_foundClocks = found.value;
    quint8 differing = 0;
    for (int pattern = 0; pattern < ClockPatterns; ++pattern) {
        if (m_stop.requested())
            return interrupted();
        ClockSelection test = found.value; // slots the model lacks keep what they had
        for (int slot = 0; slot < m_slotCount; ++slot)
            test.setCode(slot, quint8((slot + pattern) % ClockSelection::CodeCount));
        // Marked before the write: a stop, a lost reply or a killed process from here on must
        // still put the reader's clocks back.
        if (!m_clocksTouched) {
            m_clocksTouched = true;
            noteChange();
        }
        m_reader.writeClocks(test);
        const DeviceResult<ClockSelection> back = m_reader.readClocks();
        if (!back.ok())
            return replyError(back.error, QStringLiteral("the clock read-back"));
        for (int slot = 0; slot < m_slotCount; ++slot) {
            if (back.value.code(slot) != test.code(slot))
                differing |= quint8(1U << slot);
        }
    }
    const int following = m_slotCount - int(SlotStatus::occupiedSlotNumbers(differing).size());
    StepRecord step = measuredStep({measured(QStringLiteral("clock_slots_following"), following,
                                             MeasurementLimit::equals(m_slotCount))},
                                   QStringLiteral("the clocks of %1 %2 do not follow")
                                       .arg(SlotStatus::occupiedSlotNumbers(differing).size() == 1
                                                ? QStringLiteral("slot")
                                                : QStringLiteral("slots"),
                                            cardsText(differing)));
    if (step.outcome == StepOutcome::Pass)
        step.message = QStringLiteral("found %1").arg(modelClockText(found.value));
    return step;
}

StepRecord ReaderCheckout::tarvik()
{
    if (m_slotCount != RP::EightSlotModel)
        return skipped(QStringLiteral("a four-slot reader has no Tarvik status"));
    const DeviceResult<quint8> occupancy = m_reader.tarvikStatus();
    if (!occupancy.ok())
        return replyError(occupancy.error, QStringLiteral("the Tarvik status"));
    return measuredStep({measured(QStringLiteral("tarvik_occupancy"), int(occupancy.value),
                                  MeasurementLimit::equals(m_foundStatus->occupancy))},
                        QStringLiteral("the Tarvik status (cards %1) disagrees with the status "
                                       "(cards %2)")
                            .arg(cardsText(occupancy.value), cardsText(m_foundStatus->occupancy)));
}

StepRecord ReaderCheckout::time()
{
    const DeviceResult<quint16> counts = m_reader.readTimeCounts();
    if (!counts.ok())
        return replyError(counts.error, QStringLiteral("the time request"));
    return measuredStep({measured(QStringLiteral("time_setting_s"), secondsOf(counts.value)),
                         measured(QStringLiteral("time_setting_counts"), int(counts.value))});
}

StepRecord ReaderCheckout::echo()
{
    QList<quint8> bytes = quickEchoBytes();
    if (m_options.echo == CheckoutOptions::Echo::All) {
        bytes.clear();
        for (int value = 0; value <= 0xFF; ++value)
            bytes.append(quint8(value));
    }
    const auto echoedStep = [this, &bytes](int echoed, const QString &detail) {
        return measuredStep({measured(QStringLiteral("bytes_echoed"), echoed,
                                      MeasurementLimit::equals(int(bytes.size())))},
                            detail);
    };
    int echoedRight = 0;
    for (const quint8 sent : bytes) {
        if (m_stop.requested())
            return interrupted();
        const EchoResult echoed = m_reader.echo(sent);
        if (echoed.error != DeviceError::None)
            return replyError(echoed.error, QStringLiteral("the echo of %1").arg(hexByte(sent)));
        if (echoed.echoed != sent)
            return echoedStep(
                echoedRight,
                QStringLiteral("%1 came back as %2").arg(hexByte(sent), hexByte(echoed.echoed)));
        ++echoedRight;
    }
    return echoedStep(echoedRight, {});
}

StepRecord ReaderCheckout::lines()
{
    // The lines follow the cards and their changes, which the checkout does not control: they
    // are recorded, not judged.
    const ModemLines lines = m_line.modemLines();
    if (!m_line.isOpen())
        return replyError(DeviceError::ReadError, QStringLiteral("the modem lines"));
    return measuredStep({measured(QStringLiteral("cts_active"), lines.clearToSend),
                         measured(QStringLiteral("dcd_active"), lines.dataCarrierDetect)});
}

StepRecord ReaderCheckout::display()
{
    m_display.runDisplayTest();
    if (!m_line.isOpen())
        return replyError(DeviceError::ReadError, QStringLiteral("the display test"));
    const std::optional<bool> lit = ask(QStringLiteral("Did every dot of the display light?"));
    if (m_stop.requested())
        return interrupted();
    if (!lit)
        return noAnswer();
    return measuredStep(
        {measured(QStringLiteral("display_dots_lit"), *lit, MeasurementLimit::equals(true))});
}

StepRecord ReaderCheckout::cards()
{
    const bool eightSlots = m_slotCount == RP::EightSlotModel;
    struct Round
    {
        const char *question;
        const char *name; // of the round's measurements
        quint8 expected;
    };
    const std::array<Round, 2> rounds{{
        {"Insert a card into every slot. Are they all in?", "inserted", modelSlots()},
        {"Remove all cards. Are they all out?", "removed", quint8(0)},
    }};
    QList<Measurement> measurements;
    QStringList seen;
    for (const Round &round : rounds) {
        const QString name = QLatin1String(round.name);
        const std::optional<bool> done = ask(QLatin1String(round.question));
        if (m_stop.requested())
            return interrupted();
        if (!done)
            return noAnswer();
        measurements.append(measured(QStringLiteral("cards_%1_confirmed").arg(name), *done,
                                     MeasurementLimit::equals(true)));
        // Without the operator's yes there is nothing to read: the cards were not placed.
        if (!measurements.last().passed())
            return measuredStep(measurements, QLatin1String(round.question));
        const DeviceResult<SlotStatus> status = m_reader.readStatus();
        if (!status.ok())
            return replyError(status.error, QStringLiteral("the status request"));
        const MeasurementLimit expected = MeasurementLimit::equals(round.expected);
        const quint8 read = status.value.occupancy & modelSlots();
        measurements.append(
            measured(QStringLiteral("cards_%1_occupancy").arg(name), int(read), expected));
        seen.append(QStringLiteral("%1: status cards %2").arg(name, cardsText(read)));
        if (eightSlots) {
            const DeviceResult<quint8> tarvik = m_reader.tarvikStatus();
            if (!tarvik.ok())
                return replyError(tarvik.error, QStringLiteral("the Tarvik status"));
            measurements.append(
                measured(QStringLiteral("cards_%1_tarvik").arg(name), int(tarvik.value), expected));
            seen.last() += QStringLiteral(", Tarvik status cards ") + cardsText(tarvik.value);
        }
    }
    // The occupancies are bits; the cards they stand for, for people.
    return measuredStep(measurements, seen.join(QStringLiteral("; ")));
}

StepRecord ReaderCheckout::programClocks()
{
    const ClockSelection &wanted = *m_options.programClocks;
    m_clocksProgrammed = true;
    noteChange(); // the clocks stored are the ones to keep
    m_reader.storeClocks(wanted);
    const DeviceResult<ClockSelection> back = m_reader.readClocks();
    if (!back.ok())
        return replyError(back.error, QStringLiteral("the clock read-back"));
    QList<Measurement> measurements;
    for (int slot = 0; slot < m_slotCount; ++slot)
        measurements.append(measured(QStringLiteral("clock_slot_%1").arg(slot + 1),
                                     megahertzOf(back.value.code(slot)),
                                     MeasurementLimit::equals(megahertzOf(wanted.code(slot)))));
    return measuredStep(measurements,
                        QStringLiteral("the clocks read back differ from those stored"));
}

StepRecord ReaderCheckout::programTime()
{
    const quint16 wanted = *m_options.programTimeCounts;
    m_reader.storeTimeCounts(wanted);
    const DeviceResult<quint16> back = m_reader.readTimeCounts();
    if (!back.ok())
        return replyError(back.error, QStringLiteral("the time read-back"));
    return measuredStep({measured(QStringLiteral("stored_time_setting_s"), secondsOf(back.value),
                                  MeasurementLimit::equals(secondsOf(wanted)))},
                        QStringLiteral("the time read back differs from the one stored"));
}

FoundSettings ReaderCheckout::changed() const
{
    FoundSettings found;
    found.port = m_port;
    found.serialNumber = m_identification.serialNumber ? int(*m_identification.serialNumber) : 0;
    found.slotCount = m_slotCount;
    found.tool = m_tool;
    found.started = m_started;
    if (m_selectionTouched && m_foundStatus)
        found.selectedSlot = m_foundStatus->selectedSlot;
    if (m_clocksTouched && !m_clocksProgrammed && m_foundClocks)
        found.clocks = *m_foundClocks;
    return found;
}

void ReaderCheckout::noteChange()
{
    if (!m_journal)
        return;
    const QString problem = m_journal->keep(changed());
    if (!problem.isEmpty())
        m_observer.notice(m_readerIndex, m_port,
                          QStringLiteral("warning: %1; a checkout that does not end now leaves "
                                         "the reader changed")
                              .arg(problem));
}

bool ReaderCheckout::putBackLeftovers(ReaderRecord &record)
{
    if (!m_journal)
        return true;
    const SettingsRestore::Leftovers leftovers = SettingsRestore(m_reader).putBackLeftovers(
        *m_journal, m_port, int(*m_identification.serialNumber));
    for (const QString &note : leftovers.notes)
        m_observer.notice(m_readerIndex, m_port, note);
    record.restoredPrevious = leftovers.restored;
    return !leftovers.failed;
}

bool ReaderCheckout::restore()
{
    const FoundSettings found = changed();
    if (found.isEmpty())
        return true; // nothing was changed
    if (!m_line.isOpen())
        return false; // the note stays for the next checkout of the port
    const bool restored = SettingsRestore(m_reader).putBack(found);
    if (restored && m_journal)
        m_journal->forget(m_port, found.serialNumber);
    return restored;
}

Measurement ReaderCheckout::measured(const QString &name, const QJsonValue &value,
                                     const MeasurementLimit &fixedLimit) const
{
    const MeasurementDeclaration *declared = StepCatalogue::measurement(name);
    const MeasurementLimit limit =
        declared && declared->fixed() ? fixedLimit : m_options.limit(name);
    return Measurement::of(name, value, declared ? declared->unit : QString(), limit);
}

StepRecord ReaderCheckout::replyError(DeviceError error, const QString &request) const
{
    if (!m_line.isOpen())
        return stepOf(StepOutcome::Error, QStringLiteral("the port was lost at %1").arg(request));
    if (error == DeviceError::Timeout)
        return stepOf(StepOutcome::Error,
                      QStringLiteral("no complete reply to %1 in time").arg(request));
    return stepOf(StepOutcome::Error,
                  QStringLiteral("no reply of the right length to %1").arg(request));
}

StepRecord ReaderCheckout::noAnswer()
{
    // Nobody answered, so nobody saw: the step cannot have passed, nor can it have failed.
    return stepOf(StepOutcome::Error, QStringLiteral("no operator answer (end of input)"));
}

StepRecord ReaderCheckout::interrupted() const
{
    return skipped(Interrupted);
}

std::optional<bool> ReaderCheckout::ask(const QString &question)
{
    const QString serial = m_identification.serialNumber
                               ? Identification::serialText(*m_identification.serialNumber)
                               : QString();
    return m_observer.ask(m_readerIndex, m_port, serial, question);
}

quint8 ReaderCheckout::modelSlots() const
{
    return quint8((1U << m_slotCount) - 1);
}

QString ReaderCheckout::slotRange() const
{
    return QStringLiteral("1-%1").arg(m_slotCount);
}

QString ReaderCheckout::modelClockText(const ClockSelection &clocks) const
{
    QStringList texts;
    for (int slot = 0; slot < m_slotCount; ++slot)
        texts.append(ClockSelection::frequencyText(clocks.code(slot)));
    return texts.join(QLatin1Char(' '));
}
