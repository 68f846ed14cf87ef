#include "checkout/readercheckout.h"

#include "checkout/checkoutobserver.h"
#include "checkout/checkoutstop.h"
#include "device/readerprotocol.h"
#include "device/timesetting.h"
#include "serial/serialline.h"
#include "serial/waitclock.h"

namespace RP = ReaderProtocol;

namespace {

const QString Interrupted = QStringLiteral("interrupted");

StepRecord stepOf(StepOutcome outcome, const QString &measured, const QString &limits,
                  const QString &message = {})
{
    StepRecord step;
    step.outcome = outcome;
    step.measured = measured;
    step.limits = limits;
    step.message = message;
    return step;
}

StepRecord skipped(const QString &message)
{
    return stepOf(StepOutcome::Skip, {}, {}, message);
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

QString secondsText(quint16 counts)
{
    return QStringLiteral("%1 s (%2 counts)")
        .arg(TimeSetting::secondsFromCounts(counts))
        .arg(counts);
}

ReaderOutcome outcomeOf(const QList<StepRecord> &steps, bool aborted)
{
    if (aborted)
        return ReaderOutcome::Aborted;
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
    QList<Step> steps{
        {"identify", &ReaderCheckout::identify},
        {"status", &ReaderCheckout::status},
        {"select-slot", &ReaderCheckout::selectSlots},
        {"clocks", &ReaderCheckout::clocks},
        {"tarvik", &ReaderCheckout::tarvik},
        {"time", &ReaderCheckout::time},
        {"echo", &ReaderCheckout::echo},
        {"lines", &ReaderCheckout::lines},
        {"display", &ReaderCheckout::display},
    };
    if (options.cards)
        steps.append({"cards", &ReaderCheckout::cards});
    if (options.programClocks)
        steps.append({"program-clocks", &ReaderCheckout::programClocks});
    if (options.programTimeCounts)
        steps.append({"program-time", &ReaderCheckout::programTime});
    return steps;
}

QStringList ReaderCheckout::stepNames(const CheckoutOptions &options)
{
    QStringList names;
    for (const Step &step : plan(options))
        names.append(QLatin1String(step.name));
    return names;
}

QList<quint8> ReaderCheckout::quickEchoBytes()
{
    return {0x00, 0x01, 0x55, 0x7F, 0x80, 0xAA, 0xFE, 0xFF};
}

void ReaderCheckout::run(ReaderRecord &record)
{
    m_port = record.port;
    const QList<Step> steps = plan(m_options);
    QString skipReason; // set once the remaining steps cannot or must not run
    bool aborted = false;
    for (int index = 0; index < steps.size(); ++index) {
        const Step &step = steps.at(index);
        if (skipReason.isEmpty() && m_stop.requested()) {
            aborted = true;
            skipReason = Interrupted;
        }
        StepRecord result =
            skipReason.isEmpty() ? runStep(step, index, int(steps.size())) : skipped(skipReason);
        result.name = QLatin1String(step.name);
        record.steps.append(result);
        m_observer.stepFinished(m_readerIndex, m_port, index, int(steps.size()), result);

        if (!skipReason.isEmpty())
            continue;
        if (m_stop.requested()) {
            aborted = true;
            skipReason = Interrupted;
        } else if (result.outcome == StepOutcome::Error) {
            skipReason = QStringLiteral("not run: %1 had an error").arg(result.name);
        } else if (m_unknownModel) {
            skipReason = QStringLiteral("not run: the model is not known");
        }
    }
    if (m_identification.version)
        record.firmware = *m_identification.version;
    if (m_identification.modelType)
        record.modelType = *m_identification.modelType;
    if (m_identification.serialNumber)
        record.serialNumber = *m_identification.serialNumber;
    record.restored = restore();
    record.outcome = outcomeOf(record.steps, aborted);
}

StepRecord ReaderCheckout::runStep(const Step &step, int index, int count)
{
    m_observer.stepStarted(m_readerIndex, m_port, index, count, QLatin1String(step.name));
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
    const quint8 firmware = *m_identification.version;
    const QString measured = QStringLiteral("%1, firmware %2, SN %3")
                                 .arg(Identification::modelName(model))
                                 .arg(firmware)
                                 .arg(Identification::serialText(*m_identification.serialNumber));
    QStringList limits;
    QStringList failures;
    if (m_options.model) {
        limits.append(Identification::modelName(*m_options.model));
        if (model != *m_options.model)
            failures.append(QStringLiteral("the model is %1, not %2")
                                .arg(Identification::modelName(model),
                                     Identification::modelName(*m_options.model)));
    }
    if (m_options.minFirmware) {
        limits.append(QStringLiteral("firmware >= %1").arg(*m_options.minFirmware));
        if (firmware < *m_options.minFirmware)
            failures.append(QStringLiteral("firmware %1 is older than %2")
                                .arg(firmware)
                                .arg(*m_options.minFirmware));
    }
    if (model != RP::FourSlotModel && model != RP::EightSlotModel) {
        m_unknownModel = true;
        failures.append(
            QStringLiteral("model type %1 is neither a four- nor an eight-slot reader").arg(model));
    }
    m_slotCount = m_unknownModel ? 0 : model;
    return stepOf(failures.isEmpty() ? StepOutcome::Pass : StepOutcome::Fail, measured,
                  limits.join(QStringLiteral(", ")), failures.join(QStringLiteral("; ")));
}

StepRecord ReaderCheckout::status()
{
    const DeviceResult<SlotStatus> status = m_reader.readStatus();
    if (!status.ok())
        return replyError(status.error, QStringLiteral("the status request"));
    m_foundStatus = status.value;
    const int selected = status.value.selectedSlot + 1;
    const QString measured = QStringLiteral("cards %1, slot %2 selected")
                                 .arg(cardsText(status.value.occupancy))
                                 .arg(selected);
    const QString limits = QStringLiteral("selected slot %1").arg(slotRange());
    if (status.value.selectedSlot >= m_slotCount)
        return stepOf(StepOutcome::Fail, measured, limits,
                      QStringLiteral("slot %1 is selected, which a %2 does not have")
                          .arg(selected)
                          .arg(Identification::modelName(quint8(m_slotCount))));
    return stepOf(StepOutcome::Pass, measured, limits);
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
        m_selectionTouched = true;
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
    const QString limits = QStringLiteral("slots %1 each selected").arg(slotRange());
    if (notFollowed.isEmpty())
        return stepOf(StepOutcome::Pass, QStringLiteral("slots %1 followed").arg(slotRange()),
                      limits);
    return stepOf(StepOutcome::Fail,
                  QStringLiteral("did not follow: %1").arg(notFollowed.join(QStringLiteral(", "))),
                  limits, QStringLiteral("not selectable: %1").arg(notFollowed.join(", ")));
}

StepRecord ReaderCheckout::clocks()
{
    const DeviceResult<ClockSelection> found = m_reader.readClocks();
    if (!found.ok())
        return replyError(found.error, QStringLiteral("the clock request"));
    m_foundClocks = found.value;
    QStringList differences;
    quint8 differing = 0; // a slot is named once, at its first difference
    for (int pattern = 0; pattern < ClockPatterns; ++pattern) {
        if (m_stop.requested())
            return interrupted();
        ClockSelection test = found.value; // slots the model lacks keep what they had
        for (int slot = 0; slot < m_slotCount; ++slot)
            test.setCode(slot, quint8((slot + pattern) % ClockSelection::CodeCount));
        m_clocksTouched = true;
        m_reader.writeClocks(test);
        const DeviceResult<ClockSelection> back = m_reader.readClocks();
        if (!back.ok())
            return replyError(back.error, QStringLiteral("the clock read-back"));
        for (int slot = 0; slot < m_slotCount; ++slot) {
            if (back.value.code(slot) == test.code(slot) || (differing >> slot) & 1)
                continue;
            differing |= quint8(1U << slot);
            differences.append(QStringLiteral("slot %1 set %2 read %3")
                                   .arg(slot + 1)
                                   .arg(ClockSelection::frequencyText(test.code(slot)),
                                        ClockSelection::frequencyText(back.value.code(slot))));
        }
    }
    const QString limits = QStringLiteral("read back as set, slots %1").arg(slotRange());
    if (differences.isEmpty())
        return stepOf(StepOutcome::Pass, QStringLiteral("%1 patterns read back").arg(ClockPatterns),
                      limits, QStringLiteral("found %1").arg(modelClockText(found.value)));
    return stepOf(StepOutcome::Fail, differences.join(QStringLiteral(", ")), limits,
                  QStringLiteral("the clocks of slots %1 do not follow").arg(cardsText(differing)));
}

StepRecord ReaderCheckout::tarvik()
{
    if (m_slotCount != RP::EightSlotModel)
        return skipped(QStringLiteral("a four-slot reader has no Tarvik status"));
    const DeviceResult<quint8> occupancy = m_reader.tarvikStatus();
    if (!occupancy.ok())
        return replyError(occupancy.error, QStringLiteral("the Tarvik status"));
    const QString measured = QStringLiteral("cards %1").arg(cardsText(occupancy.value));
    const QString limits =
        QStringLiteral("cards as in status: %1").arg(cardsText(m_foundStatus->occupancy));
    if (occupancy.value != m_foundStatus->occupancy)
        return stepOf(StepOutcome::Fail, measured, limits,
                      QStringLiteral("the Tarvik status disagrees with the status"));
    return stepOf(StepOutcome::Pass, measured, limits);
}

StepRecord ReaderCheckout::time()
{
    const DeviceResult<quint16> counts = m_reader.readTimeCounts();
    if (!counts.ok())
        return replyError(counts.error, QStringLiteral("the time request"));
    return stepOf(StepOutcome::Pass, secondsText(counts.value), {});
}

StepRecord ReaderCheckout::echo()
{
    QList<quint8> bytes = quickEchoBytes();
    if (m_options.echo == CheckoutOptions::Echo::All) {
        bytes.clear();
        for (int value = 0; value <= 0xFF; ++value)
            bytes.append(quint8(value));
    }
    const QString limits = QStringLiteral("received = sent");
    for (const quint8 sent : bytes) {
        if (m_stop.requested())
            return interrupted();
        const EchoResult echoed = m_reader.echo(sent);
        if (echoed.error != DeviceError::None)
            return replyError(echoed.error, QStringLiteral("the echo of %1").arg(hexByte(sent)));
        if (echoed.echoed != sent)
            return stepOf(
                StepOutcome::Fail,
                QStringLiteral("sent %1, received %2").arg(hexByte(sent), hexByte(echoed.echoed)),
                limits,
                QStringLiteral("%1 came back as %2").arg(hexByte(sent), hexByte(echoed.echoed)));
    }
    return stepOf(StepOutcome::Pass, QStringLiteral("%1 bytes echoed").arg(bytes.size()), limits);
}

StepRecord ReaderCheckout::lines()
{
    const ModemLines lines = m_line.modemLines();
    if (!m_line.isOpen())
        return replyError(DeviceError::ReadError, QStringLiteral("the modem lines"));
    const auto state = [](bool active) {
        return active ? QStringLiteral("active") : QStringLiteral("inactive");
    };
    return stepOf(StepOutcome::Pass,
                  QStringLiteral("CTS %1, DCD %2")
                      .arg(state(lines.clearToSend), state(lines.dataCarrierDetect)),
                  {});
}

StepRecord ReaderCheckout::display()
{
    if (!m_options.prompt)
        return skipped(QStringLiteral("needs an operator to look at the display"));
    m_display.runDisplayTest();
    if (!m_line.isOpen())
        return replyError(DeviceError::ReadError, QStringLiteral("the display test"));
    const bool lit = ask(QStringLiteral("Did every dot of the display light?"));
    if (m_stop.requested())
        return interrupted();
    const QString limits = QStringLiteral("every dot lit");
    if (!lit)
        return stepOf(StepOutcome::Fail, QStringLiteral("the operator saw dots stay dark"), limits,
                      QStringLiteral("not every dot of the display lit"));
    return stepOf(StepOutcome::Pass, QStringLiteral("the operator saw every dot lit"), limits);
}

StepRecord ReaderCheckout::cards()
{
    if (!m_options.prompt)
        return skipped(QStringLiteral("needs an operator to insert and remove cards"));
    const bool eightSlots = m_slotCount == RP::EightSlotModel;
    const QString limits = QStringLiteral("slots %1 occupied, then none").arg(slotRange());
    QStringList measured;
    QStringList failures;
    const std::array<std::pair<const char *, quint8>, 2> rounds{{
        {"Insert a card into every slot. Are they all in?", modelSlots()},
        {"Remove all cards. Are they all out?", quint8(0)},
    }};
    for (const auto &[question, expected] : rounds) {
        const bool done = ask(QLatin1String(question));
        if (m_stop.requested())
            return interrupted();
        if (!done)
            return stepOf(
                StepOutcome::Fail, measured.join(QStringLiteral("; ")), limits,
                QStringLiteral("the operator answered no to: %1").arg(QLatin1String(question)));
        const DeviceResult<SlotStatus> status = m_reader.readStatus();
        if (!status.ok())
            return replyError(status.error, QStringLiteral("the status request"));
        QString read = cardsText(status.value.occupancy & modelSlots());
        bool right = (status.value.occupancy & modelSlots()) == expected;
        if (eightSlots) {
            const DeviceResult<quint8> tarvik = m_reader.tarvikStatus();
            if (!tarvik.ok())
                return replyError(tarvik.error, QStringLiteral("the Tarvik status"));
            read += QStringLiteral(" (Tarvik %1)").arg(cardsText(tarvik.value));
            right = right && tarvik.value == expected;
        }
        measured.append(QStringLiteral("cards %1").arg(read));
        if (!right)
            failures.append(
                QStringLiteral("expected cards %1, read %2").arg(cardsText(expected), read));
    }
    return stepOf(failures.isEmpty() ? StepOutcome::Pass : StepOutcome::Fail,
                  measured.join(QStringLiteral("; ")), limits, failures.join(QStringLiteral("; ")));
}

StepRecord ReaderCheckout::programClocks()
{
    const ClockSelection &wanted = *m_options.programClocks;
    m_clocksProgrammed = true;
    m_reader.storeClocks(wanted);
    const DeviceResult<ClockSelection> back = m_reader.readClocks();
    if (!back.ok())
        return replyError(back.error, QStringLiteral("the clock read-back"));
    const QString measured = modelClockText(back.value);
    const QString limits = modelClockText(wanted);
    if (measured != limits)
        return stepOf(StepOutcome::Fail, measured, limits,
                      QStringLiteral("the clocks read back differ from those stored"));
    return stepOf(StepOutcome::Pass, measured, limits);
}

StepRecord ReaderCheckout::programTime()
{
    const quint16 wanted = *m_options.programTimeCounts;
    m_reader.storeTimeCounts(wanted);
    const DeviceResult<quint16> back = m_reader.readTimeCounts();
    if (!back.ok())
        return replyError(back.error, QStringLiteral("the time read-back"));
    const QString measured = secondsText(back.value);
    const QString limits = secondsText(wanted);
    if (back.value != wanted)
        return stepOf(StepOutcome::Fail, measured, limits,
                      QStringLiteral("the time read back differs from the one stored"));
    return stepOf(StepOutcome::Pass, measured, limits);
}

bool ReaderCheckout::restore()
{
    const bool restoreSelection = m_selectionTouched && m_foundStatus;
    const bool restoreClocks = m_clocksTouched && !m_clocksProgrammed && m_foundClocks;
    if (!restoreSelection && !restoreClocks)
        return true; // nothing was changed
    if (!m_line.isOpen())
        return false;
    bool restored = true;
    if (restoreSelection) {
        m_reader.selectSlot(m_foundStatus->selectedSlot);
        const DeviceResult<SlotStatus> status = m_reader.readStatus();
        restored = status.ok() && status.value.selectedSlot == m_foundStatus->selectedSlot;
    }
    if (restoreClocks) {
        m_reader.writeClocks(*m_foundClocks);
        const DeviceResult<ClockSelection> back = m_reader.readClocks();
        restored =
            restored && back.ok() && modelClockText(back.value) == modelClockText(*m_foundClocks);
    }
    return restored;
}

StepRecord ReaderCheckout::replyError(DeviceError error, const QString &request) const
{
    if (!m_line.isOpen())
        return stepOf(StepOutcome::Error, {}, {},
                      QStringLiteral("the port was lost at %1").arg(request));
    if (error == DeviceError::Timeout)
        return stepOf(StepOutcome::Error, {}, {},
                      QStringLiteral("no complete reply to %1 in time").arg(request));
    return stepOf(StepOutcome::Error, {}, {},
                  QStringLiteral("no reply of the right length to %1").arg(request));
}

StepRecord ReaderCheckout::interrupted() const
{
    return skipped(Interrupted);
}

bool ReaderCheckout::ask(const QString &question)
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
