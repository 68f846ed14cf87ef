#pragma once

#include <QString>

// What a measurement is called in words, for people who read a certificate: "Firmware
// version" for firmware. One table for every step's measurements; a name it does not know is
// its own title.
namespace MeasurementTitles {

QString title(const QString &measurementName);

} // namespace MeasurementTitles
