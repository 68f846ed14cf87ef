#include "device/timesetting.h"

namespace TimeSetting {

quint32 secondsFromCounts(quint16 counts)
{
    return counts / CountsPerSecond;
}

std::optional<quint16> countsFromEntry(const QString &entry)
{
    bool converted = false;
    const uint seconds = entry.toUInt(&converted, 10);
    // Above 428 s the count would wrap round to a small, wrong setting: refuse it instead.
    if (!converted || seconds > MaxSeconds)
        return std::nullopt;
    return static_cast<quint16>(seconds * CountsPerSecond);
}

} // namespace TimeSetting
