#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// A repair of a reader between a failed checkout and its retest: what was wrong (the symptom),
// why (the cause), what was done (the action) and with which parts, by whom and where, linked to
// the checkout it answers. The id is made where the repair is entered, so storing it twice
// keeps it once.
struct RepairRecord
{
    QString id;
    int serialNumber = 0;
    QString checkoutId; // the failed checkout the repair answers
    QDateTime repaired; // UTC
    QString technician;
    QString symptom;
    QString cause; // may be empty: not known
    QString action;
    QStringList parts;
    QString station;

    // {"id", "serial", "checkout", "repaired", "technician", "symptom", "cause", "action",
    //  "parts": [...], "station"}; an unknown cause is null.
    QJsonObject toJson() const;
    // "001234 repaired by anna: replaced the crystal (parts X1)": one line for people.
    QString text() const;
};
