#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

// What a measured value must be, as data: a range (either end may be open), one exact value, or
// one of a few values. A limit of kind None records the value without judging it.
class MeasurementLimit
{
public:
    enum class Kind
    {
        None,
        Range,
        Equals,
        OneOf,
    };

    static MeasurementLimit none() { return {}; }
    static MeasurementLimit range(std::optional<double> low, std::optional<double> high);
    static MeasurementLimit equals(const QJsonValue &value);
    static MeasurementLimit oneOf(const QJsonArray &values);

    Kind kind() const { return m_kind; }
    std::optional<double> low() const { return m_low; }
    std::optional<double> high() const { return m_high; }
    // The value of Equals, the values of OneOf.
    const QJsonArray &values() const { return m_values; }

    // True when the value is within the limit; a limit of kind None accepts every value.
    bool accepts(const QJsonValue &value) const;

    // {"low": x, "high": y} (either may be absent), {"equals": v}, {"one_of": [...]}, or null.
    QJsonValue toJson() const;
    // Anything that is none of those reads as no limit.
    static MeasurementLimit fromJson(const QJsonValue &json);

    // For people: "0-428 s", ">= 3", "= 8", "one of 4, 8"; empty without a limit.
    QString text(const QString &unit) const;

    friend bool operator==(const MeasurementLimit &, const MeasurementLimit &) = default;

private:
    Kind m_kind = Kind::None;
    std::optional<double> m_low;
    std::optional<double> m_high;
    QJsonArray m_values;
};

// One named value a step measured, its unit, the limit it was held against and whether it was
// within it. Names are lower_snake_case and stable: they are the columns of every analysis.
struct Measurement
{
    enum class Outcome
    {
        Pass,
        Fail,
        Error, // a stored outcome that cannot be read: never taken for a pass
    };

    QString name;
    QJsonValue value; // a number, a text or true/false
    QString unit;     // "s", "bytes", "" for a count or a code
    MeasurementLimit limit;
    Outcome outcome = Outcome::Pass;

    // The value judged against its limit.
    static Measurement of(const QString &name, const QJsonValue &value, const QString &unit,
                          const MeasurementLimit &limit = MeasurementLimit::none());

    bool passed() const { return outcome == Outcome::Pass; }
    // "pass", "fail", "error"
    QString outcomeName() const;
    // "8", "001234", "true", "3.57 MHz": the value with its unit, for people.
    QString valueText() const;
    // "= 8 bytes", "1-8", "= slots 1, 3, 6": the limit as the value is written; empty without
    // one.
    QString limitText() const;

    // {"name", "value", "unit", "limit", "outcome"}
    QJsonObject toJson() const;
    static Measurement fromJson(const QJsonObject &object);

    friend bool operator==(const Measurement &, const Measurement &) = default;
};
