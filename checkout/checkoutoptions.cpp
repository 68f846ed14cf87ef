#include "checkout/checkoutoptions.h"

#include "checkout/stepcatalogue.h"
#include "device/readermodel.h"
#include "device/timesetting.h"

#include <QJsonArray>
#include <QJsonValue>

namespace {

template <typename Number> QJsonValue optionalNumber(const std::optional<Number> &value)
{
    return value ? QJsonValue(int(*value)) : QJsonValue(QJsonValue::Null);
}

} // namespace

QStringList CheckoutOptions::stepNames() const
{
    if (!steps.isEmpty())
        return steps;
    QStringList names = StepCatalogue::standardSteps();
    if (cards)
        names.append(QStringLiteral("cards"));
    if (programClocks)
        names.append(QStringLiteral("program-clocks"));
    if (programTimeCounts)
        names.append(QStringLiteral("program-time"));
    return names;
}

MeasurementLimit CheckoutOptions::limit(const QString &measurement) const
{
    if (const auto given = limits.constFind(measurement); given != limits.constEnd())
        return *given;
    if (model && measurement == QLatin1String("model_type"))
        return MeasurementLimit::equals(int(*model));
    if (minFirmware && measurement == QLatin1String("firmware"))
        return MeasurementLimit::range(double(*minFirmware), {});
    const MeasurementDeclaration *declared = StepCatalogue::measurement(measurement);
    return declared ? declared->defaultLimit : MeasurementLimit::none();
}

QJsonObject CheckoutOptions::toJson() const
{
    QJsonObject limitsJson;
    for (auto limit = limits.cbegin(); limit != limits.cend(); ++limit)
        limitsJson.insert(limit.key(), limit.value().toJson());
    QJsonValue clocks(QJsonValue::Null);
    if (programClocks) {
        QJsonArray texts;
        // The clocks of the model's slots: a four-slot reader stores four.
        for (int slot = 0; slot < ReaderModel::orLargest(model).slotCount(); ++slot)
            texts.append(ClockSelection::frequencyText(programClocks->code(slot)));
        clocks = texts;
    }
    return {{QStringLiteral("model"), optionalNumber(model)},
            {QStringLiteral("min_firmware"), optionalNumber(minFirmware)},
            {QStringLiteral("echo"),
             echo == Echo::All ? QStringLiteral("all") : QStringLiteral("quick")},
            {QStringLiteral("prompt"), prompt},
            {QStringLiteral("cards"), cards},
            {QStringLiteral("program_clocks"), clocks},
            {QStringLiteral("program_time_s"),
             programTimeCounts
                 ? QJsonValue(qint64(TimeSetting::secondsFromCounts(*programTimeCounts)))
                 : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("steps"), QJsonArray::fromStringList(stepNames())},
            {QStringLiteral("limits"), limitsJson},
            {QStringLiteral("retest_limit"), optionalNumber(retestLimit)}};
}
