#include "station/stationsettings.h"

#include "commandline/checkoutcommandline.h"

namespace {

const QString GeometryKey = QStringLiteral("window/geometry");
const QString OperatorKey = QStringLiteral("checkout/operator");
const QString LotKey = QStringLiteral("checkout/lot");

} // namespace

StationSettings::StationSettings()
    : m_settings(QStringLiteral("Ombrin"), QStringLiteral("Vorn Station"))
{
}

QByteArray StationSettings::geometry() const
{
    return m_settings.value(GeometryKey).toByteArray();
}

void StationSettings::setGeometry(const QByteArray &geometry)
{
    m_settings.setValue(GeometryKey, geometry);
}

QString StationSettings::operatorName() const
{
    return m_settings.value(OperatorKey, CheckoutCommandLine::loginName()).toString();
}

void StationSettings::setOperatorName(const QString &name)
{
    m_settings.setValue(OperatorKey, name);
}

QString StationSettings::lot() const
{
    return m_settings.value(LotKey).toString();
}

void StationSettings::setLot(const QString &lot)
{
    m_settings.setValue(LotKey, lot);
}
