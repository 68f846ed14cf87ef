#include "checkout/repairrecord.h"

#include "checkout/checkoutrecord.h"
#include "device/identification.h"

#include <QJsonArray>

QJsonObject RepairRecord::toJson() const
{
    return {{QStringLiteral("id"), id},
            {QStringLiteral("serial"), Identification::serialText(quint16(serialNumber))},
            {QStringLiteral("checkout"), checkoutId},
            {QStringLiteral("repaired"), isoUtc(repaired)},
            {QStringLiteral("technician"), technician},
            {QStringLiteral("symptom"), symptom},
            {QStringLiteral("cause"), cause.isEmpty() ? QJsonValue() : QJsonValue(cause)},
            {QStringLiteral("action"), action},
            {QStringLiteral("parts"), QJsonArray::fromStringList(parts)},
            {QStringLiteral("station"), station}};
}

QString RepairRecord::text() const
{
    QString line = QStringLiteral("repaired %1 by %2: %3")
                       .arg(isoUtc(repaired).left(16).replace(QLatin1Char('T'), QLatin1Char(' ')),
                            technician, action);
    if (!parts.isEmpty())
        line += QStringLiteral(" (parts %1)").arg(parts.join(QLatin1String(", ")));
    return line;
}
