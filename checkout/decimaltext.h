#pragma once

#include <QString>

#include <optional>

// A number as a technician types it on a command line or into a field: digits only, within the
// range; a sign, a fraction, spaces or a hexadecimal prefix are refused rather than guessed at.
namespace DecimalText {

std::optional<uint> inRange(const QString &text, uint minimum, uint maximum);

} // namespace DecimalText
