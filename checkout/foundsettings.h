#pragma once

#include "device/clockselection.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// What a checkout found in a reader before it changed it, and so what puts the reader back: the
// selected slot and the clocks, with the reader and the checkout they belong to.
struct FoundSettings
{
    QString port;
    int serialNumber = 0;
    int slotCount = 0;                  // the model's slots, whose clocks count
    std::optional<quint8> selectedSlot; // from 0
    std::optional<ClockSelection> clocks;
    QString tool;      // of the checkout that changed the reader
    QDateTime started; // UTC, when that checkout started

    bool isEmpty() const { return !selectedSlot && !clocks; }
    // "slot 3 selected, clocks 3.57 3.68 6.00 8.00"
    QString text() const;
    // The model's slots of clocks as frequencies, "3.57 3.68 6.00 8.00".
    QString clocksText(const ClockSelection &selection) const;

    QJsonObject toJson() const;
    // Nothing when the object is not such settings.
    static std::optional<FoundSettings> fromJson(const QJsonObject &object);
};
