#include "checkout/decimaltext.h"

#include <algorithm>

namespace DecimalText {

std::optional<uint> inRange(const QString &text, uint minimum, uint maximum)
{
    const bool digits = !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    if (!digits)
        return std::nullopt;
    bool converted = false;
    const uint value = text.toUInt(&converted, 10);
    if (!converted || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

} // namespace DecimalText
