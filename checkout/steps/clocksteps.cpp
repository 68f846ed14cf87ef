#include "checkout/steps/checkoutsteps.h"

#include "checkout/checkoutoptions.h"
#include "checkout/stepcontext.h"

namespace {

const QStringList AfterIdentification{QStringLiteral("identify")};

double megahertzOf(quint8 code)
{
    return ClockSelection::frequencyText(code).toDouble();
}

QString modelClockText(const ClockSelection &clocks, int slotCount)
{
    QStringList texts;
    for (int slot = 0; slot < slotCount; ++slot)
        texts.append(ClockSelection::frequencyText(clocks.code(slot)));
    return texts.join(QLatin1Char(' '));
}

// Every slot of the model sees each of the four clock codes once; slotCount the model lacks keep
// what they had.
StepRecord followClocks(StepContext &context)
{
    const DeviceResult<ClockSelection> found = context.reader().readClocks();
    if (!found.ok())
        return context.replyError(found.error, QStringLiteral("the clock request"));
    ReaderFindings &findings = context.found();
    findings.clocks = found.value;
    const int slotCount = findings.slotCount();
    quint8 differing = 0;
    for (int pattern = 0; pattern < ClockSelection::CodeCount; ++pattern) {
        if (context.stopRequested())
            return StepContext::interrupted();
        ClockSelection test = found.value;
        for (int slot = 0; slot < slotCount; ++slot)
            test.setCode(slot, quint8((slot + pattern) % ClockSelection::CodeCount));
        // Marked before the write: a stop, a lost reply or a killed process from here on must
        // still put the reader's clocks back.
        if (!findings.clocksTouched) {
            findings.clocksTouched = true;
            context.noteChange();
        }
        context.reader().writeClocks(test);
        const DeviceResult<ClockSelection> back = context.reader().readClocks();
        if (!back.ok())
            return context.replyError(back.error, QStringLiteral("the clock read-back"));
        for (int slot = 0; slot < slotCount; ++slot) {
            if (back.value.code(slot) != test.code(slot))
                differing |= quint8(1U << slot);
        }
    }
    const qsizetype wrong = SlotStatus::occupiedSlotNumbers(differing).size();
    StepRecord step = context.measuredStep(
        {context.measured(QStringLiteral("clock_slots_following"), slotCount - int(wrong),
                          MeasurementLimit::equals(slotCount))},
        QStringLiteral("the clocks of %1 %2 do not follow")
            .arg(wrong == 1 ? QStringLiteral("slot") : QStringLiteral("slots"),
                 StepContext::cardsText(differing)));
    if (step.outcome == StepOutcome::Pass)
        step.message = QStringLiteral("found %1").arg(modelClockText(found.value, slotCount));
    return step;
}

StepRecord storeClocks(StepContext &context)
{
    const ClockSelection &wanted = *context.options().programClocks;
    ReaderFindings &found = context.found();
    found.clocksProgrammed = true;
    context.noteChange(); // the clocks stored are the ones to keep
    context.reader().storeClocks(wanted);
    const DeviceResult<ClockSelection> back = context.reader().readClocks();
    if (!back.ok())
        return context.replyError(back.error, QStringLiteral("the clock read-back"));
    QList<Measurement> measurements;
    for (int slot = 0; slot < found.slotCount(); ++slot)
        measurements.append(context.measured(
            QStringLiteral("clock_slot_%1").arg(slot + 1), megahertzOf(back.value.code(slot)),
            MeasurementLimit::equals(megahertzOf(wanted.code(slot)))));
    return context.measuredStep(measurements,
                                QStringLiteral("the clocks read back differ from those stored"));
}

} // namespace

StepDeclaration CheckoutSteps::clocks()
{
    StepDeclaration step = StepDeclaration::of(
        QStringLiteral("clocks"), QStringLiteral("Card clocks: four test patterns, never stored"),
        {MeasurementDeclaration::fixedNumber("clock_slots_following", "slots whose clock follows",
                                             QStringLiteral("= the model's slots"))},
        &followClocks);
    step.needsSteps = AfterIdentification;
    return step;
}

StepDeclaration CheckoutSteps::programClocks()
{
    StepDeclaration step = StepDeclaration::of(
        QStringLiteral("program-clocks"), QStringLiteral("Card clocks stored in the reader"),
        {MeasurementDeclaration::fixedNumber("clock_slot_N", "clock of slot N",
                                             QStringLiteral("= the clock stored"), "MHz")},
        &storeClocks);
    step.needsSteps = AfterIdentification;
    step.programs = true;
    return step;
}
