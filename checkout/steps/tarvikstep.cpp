#include "checkout/steps/checkoutsteps.h"

#include "checkout/stepcontext.h"

namespace {

StepRecord compareTarvikStatus(StepContext &context)
{
    const DeviceResult<quint8> occupancy = context.reader().tarvikStatus();
    if (!occupancy.ok())
        return context.replyError(occupancy.error, QStringLiteral("the Tarvik status"));
    const quint8 status = context.found().status->occupancy;
    return context.measuredStep(
        {context.measured(QStringLiteral("tarvik_occupancy"), int(occupancy.value),
                          MeasurementLimit::equals(status))},
        QStringLiteral("the Tarvik status (cards %1) disagrees with the status (cards %2)")
            .arg(StepContext::cardsText(occupancy.value), StepContext::cardsText(status)));
}

} // namespace

StepDeclaration CheckoutSteps::tarvik()
{
    StepDeclaration step = StepDeclaration::of(
        QStringLiteral("tarvik"), QStringLiteral("Tarvik status of an eight-slot reader"),
        {MeasurementDeclaration::fixedNumber("tarvik_occupancy", "occupied slots, Tarvik status",
                                             QStringLiteral("= the status's occupancy"))},
        &compareTarvikStatus);
    step.needsSteps = QStringList{QStringLiteral("status")};
    step.needsTarvik = true;
    return step;
}
