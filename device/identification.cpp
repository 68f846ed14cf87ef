#include "device/identification.h"

#include "device/readermodel.h"

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
    const ReaderModel *model = ReaderModel::byTypeCode(modelType);
    return model ? model->name() : QStringLiteral("unknown");
}

QString Identification::serialText(quint16 serialNumber)
{
    return QStringLiteral("%1").arg(serialNumber, 6, 10, QLatin1Char('0'));
}
