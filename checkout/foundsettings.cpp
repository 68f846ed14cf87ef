#include "checkout/foundsettings.h"

#include "checkout/checkoutrecord.h"

#include <QJsonArray>
#include <QStringList>

QString FoundSettings::text() const
{
    QStringList parts;
    if (selectedSlot)
        parts.append(QStringLiteral("slot %1 selected").arg(*selectedSlot + 1));
    if (clocks)
        parts.append(QStringLiteral("clocks %1").arg(clocksText(*clocks)));
    return parts.join(QStringLiteral(", "));
}

QString FoundSettings::clocksText(const ClockSelection &selection) const
{
    QStringList texts;
    for (int slot = 0; slot < slotCount; ++slot)
        texts.append(ClockSelection::frequencyText(selection.code(slot)));
    return texts.join(QLatin1Char(' '));
}

QJsonObject FoundSettings::toJson() const
{
    QJsonArray codes;
    if (clocks)
        for (const quint8 code : clocks->codes())
            codes.append(int(code));
    return {{QStringLiteral("port"), port},
            {QStringLiteral("serial"), serialNumber},
            {QStringLiteral("slots"), slotCount},
            {QStringLiteral("selected_slot"),
             selectedSlot ? QJsonValue(int(*selectedSlot) + 1) : QJsonValue()},
            {QStringLiteral("clock_codes"), clocks ? QJsonValue(codes) : QJsonValue()},
            {QStringLiteral("tool"), tool},
            {QStringLiteral("started"), isoUtc(started)}};
}

std::optional<FoundSettings> FoundSettings::fromJson(const QJsonObject &object)
{
    FoundSettings settings;
    settings.port = object.value(QLatin1String("port")).toString();
    settings.serialNumber = object.value(QLatin1String("serial")).toInt(-1);
    settings.slotCount = object.value(QLatin1String("slots")).toInt(-1);
    if (settings.port.isEmpty() || settings.serialNumber < 0 || settings.slotCount < 0 ||
        settings.slotCount > 8)
        return std::nullopt;
    const QJsonValue slot = object.value(QLatin1String("selected_slot"));
    if (!slot.isNull()) {
        if (slot.toInt() < 1 || slot.toInt() > 8)
            return std::nullopt;
        settings.selectedSlot = quint8(slot.toInt() - 1);
    }
    const QJsonValue codes = object.value(QLatin1String("clock_codes"));
    if (!codes.isNull()) {
        const QJsonArray list = codes.toArray();
        std::array<quint8, 8> values{};
        if (list.size() != qsizetype(values.size()))
            return std::nullopt;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const int code = list.at(qsizetype(i)).toInt(-1);
            if (code < 0 || code >= ClockSelection::CodeCount)
                return std::nullopt;
            values[i] = quint8(code);
        }
        settings.clocks = ClockSelection(values);
    }
    settings.tool = object.value(QLatin1String("tool")).toString();
    settings.started =
        QDateTime::fromString(object.value(QLatin1String("started")).toString(), Qt::ISODateWithMs);
    return settings;
}
