#include "device/identification.h"

#include "device/readerprotocol.h"

QString Identification::text() const
{
    if (!version || !modelType || !serialNumber)
        return {};
    return QStringLiteral("Version: ") + QString::number(*version) + typeText(*modelType) +
           QStringLiteral(" - SN: ") + serialText(*serialNumber);
}

QString Identification::typeText(quint8 modelType)
{
    return QStringLiteral(" - Type ") + modelName(modelType);
}

QString Identification::modelName(quint8 modelType)
{
    switch (modelType) {
    case ReaderProtocol::FourSlotModel:
        return QStringLiteral("Vorn4");
    case ReaderProtocol::EightSlotModel:
        return QStringLiteral("Vorn8");
    default:
        return QStringLiteral("unknown");
    }
}

QString Identification::serialText(quint16 serialNumber)
{
    return QStringLiteral("%1").arg(serialNumber, 6, 10, QLatin1Char('0'));
}
