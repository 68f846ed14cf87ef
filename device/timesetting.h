#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// The reader's time setting is a 16-bit count at 153 counts a second; the tool shows and
// takes it in whole seconds.
namespace TimeSetting {

constexpr quint32 CountsPerSecond = 153;
// The largest number of seconds whose count still fits in 16 bits.
constexpr quint32 MaxSeconds = 0xFFFF / CountsPerSecond;

quint32 secondsFromCounts(quint16 counts);

// The count to send for an entry of whole seconds, or nothing when the entry is not an
// unsigned decimal number or its count would not fit in 16 bits.
std::optional<quint16> countsFromEntry(const QString &entry);

} // namespace TimeSetting
