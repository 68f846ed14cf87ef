#include "device/readermodel.h"

#include "device/clockselection.h"
#include "device/readerprotocol.h"
#include "device/timesetting.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

QString numberText(double number)
{
    return QString::number(number, 'g', 10);
}

} // namespace

ValueRange ValueRange::listed(const QList<double> &values)
{
    const auto [low, high] = std::minmax_element(values.cbegin(), values.cend());
    return {*low, *high, values};
}

bool ValueRange::contains(double value) const
{
    if (!only.isEmpty())
        return only.contains(value);
    return value >= low && value <= high;
}

ValueRange ValueRange::joined(const ValueRange &other) const
{
    if (!only.isEmpty() && !other.only.isEmpty()) {
        QList<double> values = only;
        for (const double value : other.only)
            if (!values.contains(value))
                values.append(value);
        std::sort(values.begin(), values.end());
        return listed(values);
    }
    return of(std::min(low, other.low), std::max(high, other.high));
}

QString ValueRange::text() const
{
    if (only.isEmpty())
        return numberText(low) + QStringLiteral(" to ") + numberText(high);
    QStringList texts;
    for (const double value : only)
        texts.append(numberText(value));
    return texts.size() == 1 ? texts.first()
                             : QStringLiteral("one of ") + texts.join(QStringLiteral(", "));
}

ReaderModel::ReaderModel(quint8 typeCode, const char *name, bool speaksTarvik)
    : m_typeCode(typeCode), m_name(QLatin1String(name)), m_slotCount(typeCode),
      m_speaksTarvik(speaksTarvik)
{
}

ValueRange ReaderModel::firmwareVersions()
{
    return ValueRange::of(0, 0xFF); // one byte
}

ValueRange ReaderModel::serialNumbers()
{
    return ValueRange::of(0, 0xFFFF); // two bytes
}

ValueRange ReaderModel::timeSettingsRead()
{
    return ValueRange::of(0, std::round(0xFFFF * 100.0 / TimeSetting::CountsPerSecond) / 100.0);
}

ValueRange ReaderModel::timeSettingsStored()
{
    return ValueRange::of(0, TimeSetting::MaxSeconds);
}

ValueRange ReaderModel::timeSettingCounts()
{
    return ValueRange::of(0, 0xFFFF);
}

ValueRange ReaderModel::clockFrequencies()
{
    QList<double> megahertz;
    for (quint8 code = 0; code < ClockSelection::CodeCount; ++code)
        megahertz.append(ClockSelection::frequencyText(code).toDouble());
    return ValueRange::listed(megahertz);
}

const QList<ReaderModel> &ReaderModel::all()
{
    // The type code a reader reports is its number of slots; only the eight-slot model speaks
    // the Tarvik protocol.
    static const QList<ReaderModel> models{
        ReaderModel(4, "Vorn4", false),
        ReaderModel(8, "Vorn8", true),
    };
    return models;
}

const ReaderModel *ReaderModel::byTypeCode(int typeCode)
{
    for (const ReaderModel &model : all()) {
        if (model.typeCode() == typeCode)
            return &model;
    }
    return nullptr;
}

int ReaderModel::mostSlots()
{
    static_assert(ReaderProtocol::SlotCount == 8, "the protocol's bytes hold eight slots");
    return all().last().slotCount();
}

QString ReaderModel::typeCodesText()
{
    QStringList texts;
    for (const ReaderModel &model : all())
        texts.append(QStringLiteral("%1 (%2)").arg(model.typeCode()).arg(model.name()));
    return texts.join(QStringLiteral(" or "));
}

QString ReaderModel::notAModel(const QString &what, const QString &given)
{
    return QStringLiteral("%1 must be %2, not '%3'").arg(what, typeCodesText(), given);
}

const ReaderModel &ReaderModel::orLargest(std::optional<quint8> typeCode)
{
    const ReaderModel *model = typeCode ? byTypeCode(*typeCode) : nullptr;
    return model ? *model : all().last();
}
