#include "device/clockselection.h"

#include <QStringList>

namespace {
const QStringList &frequencyTexts()
{
    static const QStringList texts{QStringLiteral("3.57"), QStringLiteral("3.68"),
                                   QStringLiteral("6.00"), QStringLiteral("8.00")};
    return texts;
}
} // namespace

ClockSelection::ClockSelection(const std::array<quint8, 8> &codes)
{
    for (int slot = 0; slot < 8; ++slot)
        setCode(slot, codes.at(static_cast<std::size_t>(slot)));
}

ClockSelection ClockSelection::fromBytes(quint8 firstByte, quint8 secondByte)
{
    ClockSelection selection;
    for (int position = 0; position < 4; ++position) {
        selection.setCode(position, (secondByte >> (2 * position)) & 3);
        selection.setCode(position + 4, (firstByte >> (2 * position)) & 3);
    }
    return selection;
}

quint8 ClockSelection::firstByte() const
{
    return pack(m_codes.data() + 4);
}

quint8 ClockSelection::secondByte() const
{
    return pack(m_codes.data());
}

void ClockSelection::setCode(int slot, quint8 code)
{
    m_codes.at(static_cast<std::size_t>(slot)) = code & 3;
}

QString ClockSelection::frequencyText(quint8 code)
{
    return frequencyTexts().value(code & 3);
}

std::optional<quint8> ClockSelection::codeForFrequency(const QString &text)
{
    QString normalised = text.trimmed();
    normalised.replace(QLatin1Char(','), QLatin1Char('.'));
    const qsizetype index = frequencyTexts().indexOf(normalised);
    if (index < 0)
        return std::nullopt;
    return static_cast<quint8>(index);
}

quint8 ClockSelection::pack(const quint8 *codes)
{
    return static_cast<quint8>(codes[0] | codes[1] << 2 | codes[2] << 4 | codes[3] << 6);
}
