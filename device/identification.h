#pragma once

#include "device/deviceresult.h"

#include <QString>

#include <optional>

// What the reader told about itself: firmware version, model type code (its number of card
// slots) and serial number. A failed step leaves the later facts unknown; the model may be
// known although the serial number could not be read.
struct Identification
{
    DeviceError error = DeviceError::None;
    std::optional<quint8> version;
    std::optional<quint8> modelType;
    std::optional<quint16> serialNumber;

    bool ok() const { return error == DeviceError::None; }

    // "Version: 3 - Type Vorn8 - SN: 001234"
    QString text() const;

    // " - Type Vorn4", " - Type Vorn8" or " - Type unknown"
    static QString typeText(quint8 modelType);
    // The serial number as six decimal digits, zero-padded.
    static QString serialText(quint16 serialNumber);
    // "Vorn4", "Vorn8" or "unknown"
    static QString modelName(quint8 modelType);
};
