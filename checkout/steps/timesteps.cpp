#include "checkout/steps/checkoutsteps.h"

#include "checkout/checkoutoptions.h"
#include "checkout/stepcontext.h"
#include "device/timesetting.h"

#include <cmath>

namespace {

// The time setting in seconds to the hundredth: a count above 428 whole seconds' worth shows as
// more than 428 s, which the tool could never have set.
double secondsOf(quint16 counts)
{
    return std::round(double(counts) * 100.0 / TimeSetting::CountsPerSecond) / 100.0;
}

StepRecord readTime(StepContext &context)
{
    const DeviceResult<quint16> counts = context.reader().readTimeCounts();
    if (!counts.ok())
        return context.replyError(counts.error, QStringLiteral("the time request"));
    return context.measuredStep(
        {context.measured(QStringLiteral("time_setting_s"), secondsOf(counts.value)),
         context.measured(QStringLiteral("time_setting_counts"), int(counts.value))});
}

StepRecord storeTime(StepContext &context)
{
    const quint16 wanted = *context.options().programTimeCounts;
    context.reader().storeTimeCounts(wanted);
    const DeviceResult<quint16> back = context.reader().readTimeCounts();
    if (!back.ok())
        return context.replyError(back.error, QStringLiteral("the time read-back"));
    return context.measuredStep(
        {context.measured(QStringLiteral("stored_time_setting_s"), secondsOf(back.value),
                          MeasurementLimit::equals(secondsOf(wanted)))},
        QStringLiteral("the time read back differs from the one stored"));
}

} // namespace

StepDeclaration CheckoutSteps::time()
{
    const ValueRange settable = ReaderModel::timeSettingsStored();
    return StepDeclaration::of(
        QStringLiteral("time"), QStringLiteral("Time setting"),
        {MeasurementDeclaration::number("time_setting_s", "time setting",
                                        MeasurementLimit::range(settable.low, settable.high), "s")
             .reporting(&ReaderModel::timeSettingsRead),
         MeasurementDeclaration::number("time_setting_counts", "time setting in counts")
             .reporting(&ReaderModel::timeSettingCounts)},
        &readTime);
}

StepDeclaration CheckoutSteps::programTime()
{
    StepDeclaration step = StepDeclaration::of(
        QStringLiteral("program-time"), QStringLiteral("Time setting stored in the reader"),
        {MeasurementDeclaration::fixedNumber("stored_time_setting_s", "stored time setting",
                                             QStringLiteral("= the setting stored"), "s")},
        &storeTime);
    step.programs = true;
    return step;
}
