#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>

// What the station keeps between runs, in a settings file of its own apart from vorn-tool's
// ("Ombrin", "Vorn Station": an INI file under the user's config folder): the window's size and
// place, and who checks which lot.
class StationSettings
{
public:
    StationSettings();

    QByteArray geometry() const;
    void setGeometry(const QByteArray &geometry);

    // The operator entered last; the login name until one was.
    QString operatorName() const;
    void setOperatorName(const QString &name);

    // The lot entered last; empty until one was.
    QString lot() const;
    void setLot(const QString &lot);

private:
    QSettings m_settings;
};
