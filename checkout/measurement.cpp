#include "checkout/measurement.h"

#include "device/slotstatus.h"

#include <QStringList>

#include <cmath>

namespace {

const QString LowKey = QStringLiteral("low");
const QString HighKey = QStringLiteral("high");
const QString EqualsKey = QStringLiteral("equals");
const QString OneOfKey = QStringLiteral("one_of");

QString numberText(double number)
{
    // Whole numbers as integers, so that a count reads "8" and not "8.0".
    if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 1e15)
        return QString::number(qint64(number));
    return QString::number(number, 'g', 10);
}

QString valueText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Double:
        return numberText(value.toDouble());
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default:
        return QStringLiteral("none");
    }
}

// The slot-occupancy bits the reader reports (and the Tarvik status's), which people read as
// the numbers of the occupied slots.
bool isOccupancy(const QString &name)
{
    return name.endsWith(QLatin1String("occupancy")) ||
           (name.startsWith(QLatin1String("cards_")) && name.endsWith(QLatin1String("_tarvik")));
}

QString occupiedSlotsText(quint8 occupancy)
{
    QStringList numbers;
    for (const int number : SlotStatus::occupiedSlotNumbers(occupancy))
        numbers.append(QString::number(number));
    if (numbers.isEmpty())
        return QStringLiteral("no slots");
    return (numbers.size() == 1 ? QStringLiteral("slot ") : QStringLiteral("slots ")) +
           numbers.join(QStringLiteral(", "));
}

QString withUnit(const QString &text, const QString &unit)
{
    return unit.isEmpty() ? text : text + QLatin1Char(' ') + unit;
}

} // namespace

MeasurementLimit MeasurementLimit::range(std::optional<double> low, std::optional<double> high)
{
    MeasurementLimit limit;
    limit.m_kind = Kind::Range;
    limit.m_low = low;
    limit.m_high = high;
    return limit;
}

MeasurementLimit MeasurementLimit::equals(const QJsonValue &value)
{
    MeasurementLimit limit;
    limit.m_kind = Kind::Equals;
    limit.m_values = QJsonArray{value};
    return limit;
}

MeasurementLimit MeasurementLimit::oneOf(const QJsonArray &values)
{
    MeasurementLimit limit;
    limit.m_kind = Kind::OneOf;
    limit.m_values = values;
    return limit;
}

bool MeasurementLimit::accepts(const QJsonValue &value) const
{
    switch (m_kind) {
    case Kind::None:
        return true;
    case Kind::Range: {
        if (!value.isDouble())
            return false;
        const double number = value.toDouble();
        return (!m_low || number >= *m_low) && (!m_high || number <= *m_high);
    }
    case Kind::Equals:
    case Kind::OneOf:
        return m_values.contains(value);
    }
    return false;
}

QJsonValue MeasurementLimit::toJson() const
{
    switch (m_kind) {
    case Kind::None:
        return QJsonValue::Null;
    case Kind::Range: {
        QJsonObject range;
        if (m_low)
            range.insert(LowKey, *m_low);
        if (m_high)
            range.insert(HighKey, *m_high);
        return range;
    }
    case Kind::Equals:
        return QJsonObject{{EqualsKey, m_values.first()}};
    case Kind::OneOf:
        return QJsonObject{{OneOfKey, m_values}};
    }
    return QJsonValue::Null;
}

MeasurementLimit MeasurementLimit::fromJson(const QJsonValue &json)
{
    const QJsonObject object = json.toObject();
    if (object.contains(EqualsKey))
        return equals(object.value(EqualsKey));
    if (object.value(OneOfKey).isArray())
        return oneOf(object.value(OneOfKey).toArray());
    const QJsonValue low = object.value(LowKey);
    const QJsonValue high = object.value(HighKey);
    if (low.isDouble() || high.isDouble())
        return range(low.isDouble() ? std::optional(low.toDouble()) : std::nullopt,
                     high.isDouble() ? std::optional(high.toDouble()) : std::nullopt);
    return none();
}

QString MeasurementLimit::text(const QString &unit) const
{
    switch (m_kind) {
    case Kind::None:
        return {};
    case Kind::Range:
        if (m_low && m_high)
            return withUnit(numberText(*m_low) + QLatin1Char('-') + numberText(*m_high), unit);
        if (m_low)
            return QStringLiteral(">= ") + withUnit(numberText(*m_low), unit);
        if (m_high)
            return QStringLiteral("<= ") + withUnit(numberText(*m_high), unit);
        return {};
    case Kind::Equals:
        return QStringLiteral("= ") + withUnit(valueText(m_values.first()), unit);
    case Kind::OneOf: {
        QStringList texts;
        for (const QJsonValue &value : m_values)
            texts.append(valueText(value));
        return QStringLiteral("one of ") + withUnit(texts.join(QStringLiteral(", ")), unit);
    }
    }
    return {};
}

Measurement Measurement::of(const QString &name, const QJsonValue &value, const QString &unit,
                            const MeasurementLimit &limit)
{
    Measurement measurement;
    measurement.name = name;
    measurement.value = value;
    measurement.unit = unit;
    measurement.limit = limit;
    measurement.outcome = limit.accepts(value) ? Outcome::Pass : Outcome::Fail;
    return measurement;
}

QString Measurement::valueText() const
{
    if (isOccupancy(name) && value.isDouble())
        return occupiedSlotsText(quint8(value.toInt()));
    return withUnit(::valueText(value), unit);
}

QString Measurement::limitText() const
{
    if (isOccupancy(name) && limit.kind() == MeasurementLimit::Kind::Equals &&
        limit.values().first().isDouble())
        return QStringLiteral("= ") + occupiedSlotsText(quint8(limit.values().first().toInt()));
    return limit.text(unit);
}

QJsonObject Measurement::toJson() const
{
    return {{QStringLiteral("name"), name},
            {QStringLiteral("value"), value},
            {QStringLiteral("unit"), unit},
            {QStringLiteral("limit"), limit.toJson()},
            {QStringLiteral("outcome"), outcomeName()}};
}

QString Measurement::outcomeName() const
{
    switch (outcome) {
    case Outcome::Pass:
        return QStringLiteral("pass");
    case Outcome::Fail:
        return QStringLiteral("fail");
    case Outcome::Error:
        break;
    }
    return QStringLiteral("error");
}

Measurement Measurement::fromJson(const QJsonObject &object)
{
    Measurement measurement;
    measurement.name = object.value(QLatin1String("name")).toString();
    measurement.value = object.value(QLatin1String("value"));
    measurement.unit = object.value(QLatin1String("unit")).toString();
    measurement.limit = MeasurementLimit::fromJson(object.value(QLatin1String("limit")));
    const QString outcome = object.value(QLatin1String("outcome")).toString();
    measurement.outcome = outcome == QLatin1String("pass")   ? Outcome::Pass
                          : outcome == QLatin1String("fail") ? Outcome::Fail
                                                             : Outcome::Error;
    return measurement;
}
