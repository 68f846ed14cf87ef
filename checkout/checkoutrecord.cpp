#include "checkout/checkoutrecord.h"

#include "device/identification.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QUuid>

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<StepOutcome, const char *>, 4> StepOutcomeNames{{
    {StepOutcome::Pass, "pass"},
    {StepOutcome::Fail, "fail"},
    {StepOutcome::Skip, "skip"},
    {StepOutcome::Error, "error"},
}};

constexpr std::array<std::pair<ReaderOutcome, const char *>, 5> ReaderOutcomeNames{{
    {ReaderOutcome::Pass, "pass"},
    {ReaderOutcome::Fail, "fail"},
    {ReaderOutcome::Error, "error"},
    {ReaderOutcome::Aborted, "aborted"},
    {ReaderOutcome::Refused, "refused"},
}};

template <typename Outcome, std::size_t N>
QString nameOf(const std::array<std::pair<Outcome, const char *>, N> &names, Outcome outcome)
{
    for (const auto &[value, name] : names) {
        if (value == outcome)
            return QLatin1String(name);
    }
    return {};
}

template <typename Outcome, std::size_t N>
std::optional<Outcome> valueOf(const std::array<std::pair<Outcome, const char *>, N> &names,
                               const QString &text)
{
    for (const auto &[value, name] : names) {
        if (text == QLatin1String(name))
            return value;
    }
    return std::nullopt;
}

QJsonValue optionalNumber(const std::optional<int> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

std::optional<int> numberOrNothing(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    return value.toInt();
}

} // namespace

QString outcomeName(StepOutcome outcome)
{
    return nameOf(StepOutcomeNames, outcome);
}

QString outcomeName(ReaderOutcome outcome)
{
    return nameOf(ReaderOutcomeNames, outcome);
}

bool isAttempt(ReaderOutcome outcome)
{
    return outcome == ReaderOutcome::Pass || outcome == ReaderOutcome::Fail ||
           outcome == ReaderOutcome::Error;
}

std::optional<StepOutcome> stepOutcomeFromName(const QString &name)
{
    return valueOf(StepOutcomeNames, name);
}

std::optional<ReaderOutcome> readerOutcomeFromName(const QString &name)
{
    return valueOf(ReaderOutcomeNames, name);
}

QString isoUtc(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

void StepRecord::setMeasurements(const QList<Measurement> &values)
{
    measurements = values;
    QStringList measuredTexts;
    QStringList limitTexts;
    for (const Measurement &each : values) {
        measuredTexts.append(each.name + QLatin1Char(' ') + each.valueText());
        const QString limit = each.limitText();
        if (!limit.isEmpty())
            limitTexts.append(each.name + QLatin1Char(' ') + limit);
    }
    measured = measuredTexts.join(QStringLiteral(", "));
    limits = limitTexts.join(QStringLiteral(", "));
}

const Measurement *StepRecord::measurement(const QString &measurementName) const
{
    for (const Measurement &candidate : measurements) {
        if (candidate.name == measurementName)
            return &candidate;
    }
    return nullptr;
}

QStringList StepRecord::failedMeasurements() const
{
    QStringList names;
    for (const Measurement &each : measurements) {
        if (!each.passed())
            names.append(each.name);
    }
    return names;
}

QJsonObject StepRecord::toJson() const
{
    QJsonArray measurementArray;
    for (const Measurement &each : measurements)
        measurementArray.append(each.toJson());
    return {{QStringLiteral("name"), name},
            {QStringLiteral("outcome"), outcomeName(outcome)},
            {QStringLiteral("duration_ms"), durationMs},
            {QStringLiteral("measurements"), measurementArray},
            {QStringLiteral("measured"), measured},
            {QStringLiteral("limits"), limits},
            {QStringLiteral("message"), message}};
}

StepRecord StepRecord::fromJson(const QJsonObject &object)
{
    StepRecord step;
    step.name = object.value(QLatin1String("name")).toString();
    step.outcome = stepOutcomeFromName(object.value(QLatin1String("outcome")).toString())
                       .value_or(StepOutcome::Error);
    step.durationMs = object.value(QLatin1String("duration_ms")).toInteger();
    const QJsonArray measurementArray = object.value(QLatin1String("measurements")).toArray();
    for (const auto &each : measurementArray)
        step.measurements.append(Measurement::fromJson(each.toObject()));
    step.measured = object.value(QLatin1String("measured")).toString();
    step.limits = object.value(QLatin1String("limits")).toString();
    step.message = object.value(QLatin1String("message")).toString();
    return step;
}

QString ReaderRecord::newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString ReaderRecord::modelName() const
{
    return modelType ? Identification::modelName(static_cast<quint8>(*modelType)) : QString();
}

QString ReaderRecord::serialText() const
{
    return serialNumber ? Identification::serialText(static_cast<quint16>(*serialNumber))
                        : QString();
}

QStringList ReaderRecord::failedSteps() const
{
    QStringList names;
    for (const StepRecord &step : steps) {
        if (step.outcome == StepOutcome::Fail || step.outcome == StepOutcome::Error)
            names.append(step.name);
    }
    return names;
}

const StepRecord *ReaderRecord::step(const QString &name) const
{
    for (const StepRecord &candidate : steps) {
        if (candidate.name == name)
            return &candidate;
    }
    return nullptr;
}

QJsonObject ReaderRecord::toJson() const
{
    QJsonArray stepArray;
    for (const StepRecord &each : steps)
        stepArray.append(each.toJson());
    QJsonObject object{
        {QStringLiteral("id"), id},
        {QStringLiteral("tool"), tool},
        {QStringLiteral("tool_version"), toolVersion},
        {QStringLiteral("station"), station},
        {QStringLiteral("operator"), operatorName},
        {QStringLiteral("lot"), lot},
        {QStringLiteral("options"), options},
        {QStringLiteral("plan"), plan.isEmpty() ? QJsonValue() : QJsonValue(plan.toJson())},
        {QStringLiteral("port"), port},
        {QStringLiteral("model"), modelType ? QJsonValue(modelName()) : QJsonValue()},
        {QStringLiteral("model_type"), optionalNumber(modelType)},
        {QStringLiteral("firmware"), optionalNumber(firmware)},
        {QStringLiteral("serial"), serialNumber ? QJsonValue(serialText()) : QJsonValue()},
        {QStringLiteral("outcome"), outcomeName(outcome)},
        {QStringLiteral("started"), isoUtc(started)},
        {QStringLiteral("duration_ms"), durationMs},
        {QStringLiteral("restored"), restored},
        {QStringLiteral("restored_previous"),
         restoredPrevious.isEmpty() ? QJsonValue() : QJsonValue(restoredPrevious)},
        {QStringLiteral("steps"), stepArray}};
    if (retestLimitChecked)
        object.insert(QStringLiteral("retest_limit_checked"), *retestLimitChecked);
    if (!refusal.isEmpty())
        object.insert(QStringLiteral("refusal"), refusal);
    return object;
}

std::optional<ReaderRecord> ReaderRecord::fromJson(const QJsonObject &object)
{
    const auto outcome = readerOutcomeFromName(object.value(QLatin1String("outcome")).toString());
    const QDateTime started =
        QDateTime::fromString(object.value(QLatin1String("started")).toString(), Qt::ISODateWithMs);
    if (!outcome || !started.isValid())
        return std::nullopt;

    ReaderRecord record;
    record.id = object.value(QLatin1String("id")).toString();
    record.tool = object.value(QLatin1String("tool")).toString();
    record.toolVersion = object.value(QLatin1String("tool_version")).toString();
    record.station = object.value(QLatin1String("station")).toString();
    record.operatorName = object.value(QLatin1String("operator")).toString();
    record.lot = object.value(QLatin1String("lot")).toString();
    record.options = object.value(QLatin1String("options")).toObject();
    record.plan = PlanIdentity::fromJson(object.value(QLatin1String("plan")).toObject());
    record.port = object.value(QLatin1String("port")).toString();
    record.modelType = numberOrNothing(object.value(QLatin1String("model_type")));
    record.firmware = numberOrNothing(object.value(QLatin1String("firmware")));
    const QJsonValue serial = object.value(QLatin1String("serial"));
    if (serial.isString()) {
        bool ok = false;
        const uint number = serial.toString().toUInt(&ok);
        if (ok && number <= 0xFFFF)
            record.serialNumber = static_cast<int>(number);
    }
    record.outcome = *outcome;
    record.started = started.toUTC();
    record.durationMs = object.value(QLatin1String("duration_ms")).toInteger();
    record.restored = object.value(QLatin1String("restored")).toBool();
    if (const QJsonValue checked = object.value(QLatin1String("retest_limit_checked"));
        checked.isBool())
        record.retestLimitChecked = checked.toBool();
    record.refusal = object.value(QLatin1String("refusal")).toString();
    record.restoredPrevious = object.value(QLatin1String("restored_previous")).toString();
    const QJsonArray stepArray = object.value(QLatin1String("steps")).toArray();
    for (const auto &each : stepArray)
        record.steps.append(StepRecord::fromJson(each.toObject()));
    return record;
}

ReaderOutcome CheckoutRun::outcome() const
{
    bool anyFail = false;
    bool anyError = false;
    bool anyRefused = false;
    for (const ReaderRecord &reader : readers) {
        if (reader.outcome == ReaderOutcome::Aborted)
            return ReaderOutcome::Aborted;
        anyError = anyError || reader.outcome == ReaderOutcome::Error;
        anyFail = anyFail || reader.outcome == ReaderOutcome::Fail;
        anyRefused = anyRefused || reader.outcome == ReaderOutcome::Refused;
    }
    if (anyError)
        return ReaderOutcome::Error;
    if (anyFail)
        return ReaderOutcome::Fail;
    return anyRefused ? ReaderOutcome::Refused : ReaderOutcome::Pass;
}

QJsonObject CheckoutRun::toJson() const
{
    QJsonArray readerArray;
    for (const ReaderRecord &reader : readers)
        readerArray.append(reader.toJson());
    return {{QStringLiteral("tool"), tool},
            {QStringLiteral("tool_version"), toolVersion},
            {QStringLiteral("station"), station},
            {QStringLiteral("started"), isoUtc(started)},
            {QStringLiteral("outcome"), outcomeName(outcome())},
            {QStringLiteral("readers"), readerArray}};
}
