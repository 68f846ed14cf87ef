#include "publish/cfxmessages.h"

#include "device/identification.h"

#include <QJsonArray>
#include <QUuid>

namespace CfxMessages {

namespace {

// The name space of every identifier these messages make from a record's id.
const QUuid IdentifierSpace(QStringLiteral("{6f1d52a8-3c1e-4b7a-9d0e-5a2f7c41b9e3}"));

const QString TypeKey = QStringLiteral("$type");
const QString NumericMeasurementType = QStringLiteral("CFX.Structures.NumericMeasurement, CFX");
const QString BooleanMeasurementType = QStringLiteral("CFX.Structures.BooleanMeasurement, CFX");

QString identifier(const QString &id, const QString &what)
{
    return QUuid::createUuidV5(IdentifierSpace, id + QLatin1Char('/') + what)
        .toString(QUuid::WithoutBraces);
}

QString identifier(const ReaderRecord &record, const QString &what)
{
    return identifier(record.id, what);
}

// A record's id as a GUID: the id itself when it is one, else one made from it.
QString guidOf(const QString &id)
{
    const QUuid uuid = QUuid::fromString(id);
    return uuid.isNull() ? identifier(id, QStringLiteral("transaction"))
                         : uuid.toString(QUuid::WithoutBraces);
}

QJsonObject envelopeOf(const QString &messageName, const QString &id, const QDateTime &time,
                       const QString &handle, QJsonObject body)
{
    body.insert(TypeKey, messageName + QStringLiteral(", CFX"));
    return {
        {QStringLiteral("MessageName"), messageName},
        {QStringLiteral("Version"), Version},
        {QStringLiteral("TimeStamp"), isoUtc(time)},
        {QStringLiteral("UniqueID"), identifier(id, messageName)},
        {QStringLiteral("Source"), handle},
        {QStringLiteral("Target"), QJsonValue()},
        {QStringLiteral("RequestID"), QJsonValue()},
        {QStringLiteral("MessageBody"), body},
    };
}

QString symptomIdentifier(const ReaderRecord &record, int stepIndex)
{
    return identifier(
        record,
        QStringLiteral("symptom/%1/%2").arg(stepIndex).arg(record.steps.at(stepIndex).name));
}

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonObject operatorNamed(const QString &name)
{
    return {{QStringLiteral("OperatorIdentifier"), textOrNull(name)},
            {QStringLiteral("ActorType"), QStringLiteral("Human")},
            {QStringLiteral("LastName"), QJsonValue()},
            {QStringLiteral("FirstName"), QJsonValue()},
            {QStringLiteral("LoginName"), QJsonValue()}};
}

QJsonValue numberOrNull(std::optional<double> number)
{
    return number ? QJsonValue(*number) : QJsonValue();
}

QJsonValue serialOrNull(const ReaderRecord &record)
{
    return textOrNull(record.serialText());
}

QString testResult(StepOutcome outcome)
{
    switch (outcome) {
    case StepOutcome::Pass:
        return QStringLiteral("Passed");
    case StepOutcome::Fail:
        return QStringLiteral("Failed");
    case StepOutcome::Skip:
        return QStringLiteral("Skipped");
    case StepOutcome::Error:
        break;
    }
    return QStringLiteral("Error");
}

QString overallResult(ReaderOutcome outcome)
{
    switch (outcome) {
    case ReaderOutcome::Pass:
        return QStringLiteral("Passed");
    case ReaderOutcome::Fail:
        return QStringLiteral("Failed");
    case ReaderOutcome::Aborted:
    case ReaderOutcome::Refused: // not tested: the reader waits for a repair
        return QStringLiteral("Aborted");
    case ReaderOutcome::Error:
        break;
    }
    return QStringLiteral("Error");
}

QString workResult(ReaderOutcome outcome)
{
    switch (outcome) {
    case ReaderOutcome::Pass:
        return QStringLiteral("Completed");
    case ReaderOutcome::Aborted:
    case ReaderOutcome::Refused:
        return QStringLiteral("Aborted");
    case ReaderOutcome::Fail:
    case ReaderOutcome::Error:
        break;
    }
    return QStringLiteral("Failed");
}

QDateTime endOf(const ReaderRecord &record)
{
    return record.started.addMSecs(record.durationMs);
}

// A measured number with what it must be: an exact value is the expected value and both ends
// of the acceptable range; a range gives its ends; a choice of values gives none of them.
QJsonObject numericValue(const Measurement &measurement)
{
    const MeasurementLimit &limit = measurement.limit;
    std::optional<double> expected;
    std::optional<double> low;
    std::optional<double> high;
    if (limit.kind() == MeasurementLimit::Kind::Range) {
        low = limit.low();
        high = limit.high();
    } else if (limit.kind() == MeasurementLimit::Kind::Equals &&
               limit.values().first().isDouble()) {
        expected = limit.values().first().toDouble();
        low = expected;
        high = expected;
    }
    const QJsonValue unit = textOrNull(measurement.unit);
    return {
        {QStringLiteral("Value"), measurement.value.toDouble()},
        {QStringLiteral("ValueUnits"), unit},
        {QStringLiteral("ExpectedValue"), numberOrNull(expected)},
        {QStringLiteral("ExpectedValueUnits"), expected ? unit : QJsonValue()},
        {QStringLiteral("MinimumAcceptableValue"), numberOrNull(low)},
        {QStringLiteral("MinimumAcceptableValueUnits"), low ? unit : QJsonValue()},
        {QStringLiteral("MaximumAcceptableValue"), numberOrNull(high)},
        {QStringLiteral("MaximumAcceptableValueUnits"), high ? unit : QJsonValue()},
    };
}

// A number as a numeric measurement, true or false as a boolean one; a text has no CFX
// measurement of its own and stays in the record.
std::optional<QJsonObject> measurementObject(const ReaderRecord &record, int stepIndex,
                                             int sequence, const Measurement &measurement,
                                             const QDateTime &recorded)
{
    QJsonObject object{
        {QStringLiteral("UniqueIdentifier"),
         identifier(record,
                    QStringLiteral("measurement/%1/%2").arg(stepIndex).arg(measurement.name))},
        {QStringLiteral("MeasurementName"), measurement.name},
        {QStringLiteral("TimeRecorded"), isoUtc(recorded)},
        {QStringLiteral("Sequence"), sequence},
        {QStringLiteral("Result"),
         measurement.passed() ? QStringLiteral("Passed") : QStringLiteral("Failed")},
    };
    if (measurement.value.isDouble()) {
        object.insert(TypeKey, NumericMeasurementType);
        object.insert(QStringLiteral("MeasuredValue"), numericValue(measurement));
        return object;
    }
    if (measurement.value.isBool()) {
        // Without a limit every value is acceptable, so the value itself is what was expected.
        const MeasurementLimit &limit = measurement.limit;
        const bool expected =
            limit.kind() == MeasurementLimit::Kind::Equals && limit.values().first().isBool()
                ? limit.values().first().toBool()
                : measurement.value.toBool();
        object.insert(TypeKey, BooleanMeasurementType);
        object.insert(QStringLiteral("Value"), measurement.value.toBool());
        object.insert(QStringLiteral("ExpectedValue"), expected);
        return object;
    }
    return std::nullopt;
}

QString symptomDescription(const StepRecord &step)
{
    if (!step.message.isEmpty())
        return step.message;
    const QStringList failed = step.failedMeasurements();
    return failed.isEmpty()
               ? QStringLiteral("%1 failed").arg(step.name)
               : QStringLiteral("outside its limit: %1").arg(failed.join(QStringLiteral(", ")));
}

// One step as a test. The measurements that made a step fail belong to its symptom; the others
// stay with the test.
QJsonObject test(const ReaderRecord &record, int index, const QDateTime &start)
{
    const StepRecord &step = record.steps.at(index);
    const QDateTime end = start.addMSecs(step.durationMs);
    QJsonArray measurements;
    QJsonArray related;
    for (int i = 0; i < step.measurements.size(); ++i) {
        const Measurement &measurement = step.measurements.at(i);
        const std::optional<QJsonObject> object =
            measurementObject(record, index, i + 1, measurement, end);
        if (!object)
            continue;
        (step.outcome == StepOutcome::Fail && !measurement.passed() ? related : measurements)
            .append(*object);
    }
    QJsonArray symptoms;
    if (step.outcome == StepOutcome::Fail)
        symptoms.append(QJsonObject{
            {QStringLiteral("UniqueIdentifier"), symptomIdentifier(record, index)},
            {QStringLiteral("SymptomCode"), step.name},
            {QStringLiteral("SymptomCategory"), QJsonValue()},
            {QStringLiteral("Description"), symptomDescription(step)},
            {QStringLiteral("Comments"), QJsonValue()},
            {QStringLiteral("ComponentsOfInterest"), QJsonArray()},
            {QStringLiteral("RegionOfInterest"), QJsonValue()},
            {QStringLiteral("Priority"), 1},
            {QStringLiteral("RelatedMeasurements"), related},
        });
    const bool error = step.outcome == StepOutcome::Error;
    const bool failed = step.outcome == StepOutcome::Fail;
    return {
        {QStringLiteral("UniqueIdentifier"),
         identifier(record, QStringLiteral("test/%1/%2").arg(index).arg(step.name))},
        {QStringLiteral("TestName"), step.name},
        {QStringLiteral("TestStartTime"), isoUtc(start)},
        {QStringLiteral("TestEndTime"), isoUtc(end)},
        {QStringLiteral("TestConditions"), QJsonArray()},
        {QStringLiteral("TestProcedure"), QJsonValue()},
        // What a passing or skipped step says (why it was skipped); a failure's words are its
        // symptom's, an error's are the error.
        {QStringLiteral("Comments"), error || failed ? QJsonValue() : textOrNull(step.message)},
        {QStringLiteral("Result"), testResult(step.outcome)},
        {QStringLiteral("Error"), error ? QJsonValue(step.message) : QJsonValue()},
        {QStringLiteral("SymptomsFound"), symptoms},
        {QStringLiteral("DefectsFound"), QJsonArray()},
        {QStringLiteral("Measurements"), measurements},
    };
}

QJsonObject unitPosition(const ReaderRecord &record, const Source &source)
{
    return {
        {QStringLiteral("UnitIdentifier"), serialOrNull(record)},
        {QStringLiteral("PositionNumber"), source.position.value_or(0)},
        {QStringLiteral("PositionName"), textOrNull(record.port)},
        {QStringLiteral("X"), 0.0},
        {QStringLiteral("Y"), 0.0},
        {QStringLiteral("Z"), QJsonValue()},
        {QStringLiteral("Rotation"), 0.0},
        {QStringLiteral("FlipX"), false},
        {QStringLiteral("FlipY"), false},
        {QStringLiteral("Status"),
         record.outcome == ReaderOutcome::Pass ? QStringLiteral("Pass") : QStringLiteral("Fail")},
    };
}

} // namespace

QString defaultHandle(const QString &station)
{
    return QStringLiteral("Vorn.Station.") + station;
}

QString transactionId(const ReaderRecord &record)
{
    return guidOf(record.id);
}

QJsonObject envelope(const QString &messageName, const ReaderRecord &record, const QDateTime &time,
                     const Source &source, QJsonObject body)
{
    return envelopeOf(messageName, record.id, time, source.handle, std::move(body));
}

QStringList symptomIdentifiers(const ReaderRecord &record)
{
    QStringList identifiers;
    for (int index = 0; index < record.steps.size(); ++index) {
        if (record.steps.at(index).outcome == StepOutcome::Fail)
            identifiers.append(symptomIdentifier(record, index));
    }
    return identifiers;
}

QJsonObject unitsRepaired(const RepairRecord &repair, const ReaderRecord &failed,
                          const QString &handle)
{
    // One entry for each part replaced, one without a part when none was.
    const QStringList parts = repair.parts.isEmpty() ? QStringList{QString()} : repair.parts;
    const QString comments =
        repair.cause.isEmpty() ? repair.symptom
                               : QStringLiteral("%1; cause: %2").arg(repair.symptom, repair.cause);
    QJsonArray repairs;
    for (const QString &part : parts)
        repairs.append(QJsonObject{
            {QStringLiteral("RepairName"), repair.action},
            {QStringLiteral("RepairStartTime"), isoUtc(repair.repaired)},
            {QStringLiteral("RepairEndTime"), isoUtc(repair.repaired)},
            {QStringLiteral("Comments"), comments},
            {QStringLiteral("ComponentOfInterest"),
             part.isEmpty() ? QJsonValue()
                            : QJsonObject{{QStringLiteral("ReferenceDesignator"), QJsonValue()},
                                          {QStringLiteral("PartNumber"), part}}},
            {QStringLiteral("RelatedSymptomIdentifiers"),
             QJsonArray::fromStringList(symptomIdentifiers(failed))},
            {QStringLiteral("Result"), QStringLiteral("Passed")},
        });
    const QJsonObject unit{
        {QStringLiteral("UnitIdentifier"),
         Identification::serialText(quint16(repair.serialNumber))},
        {QStringLiteral("UnitPositionNumber"), QJsonValue()},
        {QStringLiteral("OverallResult"), QStringLiteral("Passed")},
        {QStringLiteral("Repairs"), repairs},
    };
    return envelopeOf(UnitsRepairedName, repair.id, repair.repaired, handle,
                      {{QStringLiteral("TransactionId"), guidOf(repair.id)},
                       {QStringLiteral("RepairOperator"), operatorNamed(repair.technician)},
                       {QStringLiteral("RepairedUnits"), QJsonArray{unit}}});
}

QJsonObject workStarted(const ReaderRecord &record, const Source &source)
{
    // Who the reader is becomes known during the checkout: its serial number comes with
    // WorkCompleted.
    return envelope(WorkStartedName, record, record.started, source,
                    {
                        {QStringLiteral("PrimaryIdentifier"), QJsonValue()},
                        {QStringLiteral("HermesIdentifier"), QJsonValue()},
                        {QStringLiteral("TransactionID"), transactionId(record)},
                        {QStringLiteral("Lane"), QJsonValue()},
                        {QStringLiteral("UnitCount"), 0},
                        {QStringLiteral("Units"), QJsonArray()},
                    });
}

QJsonObject unitsTested(const ReaderRecord &record, const Source &source)
{
    QJsonArray tests;
    QDateTime start = record.started;
    for (int index = 0; index < record.steps.size(); ++index) {
        tests.append(test(record, index, start));
        // The steps run one after the other, so each begins where the one before ended.
        start = start.addMSecs(record.steps.at(index).durationMs);
    }
    const QJsonObject unit{
        {QStringLiteral("UnitIdentifier"), serialOrNull(record)},
        {QStringLiteral("UnitPositionNumber"),
         source.position ? QJsonValue(*source.position) : QJsonValue()},
        {QStringLiteral("OverallResult"), overallResult(record.outcome)},
        {QStringLiteral("Tests"), tests},
    };
    return envelope(
        UnitsTestedName, record, endOf(record), source,
        {
            {QStringLiteral("TransactionId"), transactionId(record)},
            {QStringLiteral("TestMethod"), QStringLiteral("Automated")},
            {QStringLiteral("Tester"), operatorNamed(record.operatorName)},
            // The recipe is the plan the reader was checked against.
            {QStringLiteral("RecipeName"), textOrNull(record.plan.name)},
            {QStringLiteral("RecipeRevision"), textOrNull(record.plan.revision)},
            {QStringLiteral("SamplingInformation"),
             QJsonObject{{QStringLiteral("SamplingMethod"), QStringLiteral("NoSampling")},
                         {QStringLiteral("LotSize"), QJsonValue()},
                         {QStringLiteral("SampleSize"), QJsonValue()}}},
            {QStringLiteral("TestedUnits"), QJsonArray{unit}},
        });
}

QJsonObject workCompleted(const ReaderRecord &record, const Source &source)
{
    const bool identified = record.serialNumber.has_value();
    return envelope(WorkCompletedName, record, endOf(record), source,
                    {
                        {QStringLiteral("TransactionID"), transactionId(record)},
                        {QStringLiteral("Result"), workResult(record.outcome)},
                        {QStringLiteral("PrimaryIdentifier"), serialOrNull(record)},
                        {QStringLiteral("HermesIdentifier"), QJsonValue()},
                        {QStringLiteral("UnitCount"), identified ? 1 : 0},
                        {QStringLiteral("Units"),
                         identified ? QJsonArray{unitPosition(record, source)} : QJsonArray()},
                    });
}

QList<QJsonObject> checkoutEnded(const ReaderRecord &record, const Source &source)
{
    return {unitsTested(record, source), workCompleted(record, source)};
}

QList<QJsonObject> wholeCheckout(const ReaderRecord &record, const Source &source)
{
    return {workStarted(record, source), unitsTested(record, source),
            workCompleted(record, source)};
}

} // namespace CfxMessages
