#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>

// The card clock of each of the eight slots as a 2-bit code: 0 = 3.57 MHz, 1 = 3.68 MHz,
// 2 = 6.00 MHz, 3 = 8.00 MHz. On the wire two bytes, the first for slots 4 to 7 and the
// second for slots 0 to 3, the lowest slot in the lowest two bits of its byte.
class ClockSelection
{
public:
    static constexpr int CodeCount = 4;

    ClockSelection() = default;
    explicit ClockSelection(const std::array<quint8, 8> &codes);

    static ClockSelection fromBytes(quint8 firstByte, quint8 secondByte);
    quint8 firstByte() const;  // slots 4 to 7
    quint8 secondByte() const; // slots 0 to 3

    quint8 code(int slot) const { return m_codes.at(static_cast<std::size_t>(slot)); }
    void setCode(int slot, quint8 code);
    const std::array<quint8, 8> &codes() const { return m_codes; }

    // "3.57", "3.68", "6.00", "8.00"
    static QString frequencyText(quint8 code);
    // The code for a frequency written as above, with a decimal point or comma.
    static std::optional<quint8> codeForFrequency(const QString &text);

    bool operator==(const ClockSelection &) const = default;

private:
    static quint8 pack(const quint8 *codes);

    std::array<quint8, 8> m_codes{};
};
