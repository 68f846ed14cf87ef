#include "checkout/steps/checkoutsteps.h"

#include "checkout/stepcontext.h"

namespace {

const QString ModelSlots = QStringLiteral("the model's slots");

StepRecord readStatus(StepContext &context)
{
    const DeviceResult<SlotStatus> status = context.reader().readStatus();
    if (!status.ok())
        return context.replyError(status.error, QStringLiteral("the status request"));
    ReaderFindings &found = context.found();
    found.status = status.value;
    const int selected = status.value.selectedSlot + 1;
    const ValueRange slotCount = found.model->slotNumbers();
    return context.measuredStep(
        {context.measured(QStringLiteral("occupancy"), int(status.value.occupancy)),
         context.measured(QStringLiteral("selected_slot"), selected,
                          MeasurementLimit::range(slotCount.low, slotCount.high))},
        QStringLiteral("a %1 has no slot %2").arg(found.model->name()).arg(selected));
}

StepRecord selectSlots(StepContext &context)
{
    ReaderFindings &found = context.found();
    const int slotCount = found.slotCount();
    // Starting after the slot found selected and ending on it, so that every selection is a
    // change the status must show.
    const int first = found.status->selectedSlot < slotCount ? found.status->selectedSlot : 0;
    QStringList notFollowed;
    for (int step = 1; step <= slotCount; ++step) {
        if (context.stopRequested())
            return StepContext::interrupted();
        const int slot = (first + step) % slotCount;
        if (!found.selectionTouched) {
            found.selectionTouched = true;
            context.noteChange();
        }
        context.reader().selectSlot(quint8(slot));
        const DeviceResult<SlotStatus> status = context.reader().readStatus();
        if (!status.ok())
            return context.replyError(
                status.error, QStringLiteral("the status after selecting slot %1").arg(slot + 1));
        if (status.value.selectedSlot != slot)
            notFollowed.append(QStringLiteral("slot %1 (slot %2 stayed selected)")
                                   .arg(slot + 1)
                                   .arg(status.value.selectedSlot + 1));
    }
    return context.measuredStep(
        {context.measured(QStringLiteral("slots_selectable"), slotCount - int(notFollowed.size()),
                          MeasurementLimit::equals(slotCount))},
        QStringLiteral("not selectable: %1").arg(notFollowed.join(", ")));
}

} // namespace

StepDeclaration CheckoutSteps::status()
{
    StepDeclaration step = StepDeclaration::of(
        QStringLiteral("status"), QStringLiteral("Status: occupied slots and the selected slot"),
        {MeasurementDeclaration::number("occupancy", "occupied slots")
             .reporting(&ReaderModel::occupancies),
         MeasurementDeclaration::fixedNumber("selected_slot", "selected slot",
                                             QStringLiteral("1 to ") + ModelSlots)},
        &readStatus);
    step.needsSteps = QStringList{QStringLiteral("identify")};
    return step;
}

StepDeclaration CheckoutSteps::selectSlot()
{
    StepDeclaration step = StepDeclaration::of(
        QStringLiteral("select-slot"), QStringLiteral("Every slot selected in turn"),
        {MeasurementDeclaration::fixedNumber("slots_selectable", "slots that can be selected",
                                             QStringLiteral("= ") + ModelSlots)},
        &selectSlots);
    step.needsSteps = QStringList{QStringLiteral("status")};
    return step;
}
