#pragma once

#include <QString>

// What a measurement is called in words, for people who read a certificate: "Firmware
// version" for firmware, the step catalogue's title with a capital. A name the catalogue does
// not know is its own title.
namespace MeasurementTitles {

QString title(const QString &measurementName);

} // namespace MeasurementTitles
