#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

// The fuzz input read front to back, one byte at a time. Once it is used up every further byte
// reads as zero, so every run ends in a well-defined way: silent reader, first command.
class FuzzScript
{
public:
    FuzzScript(const std::uint8_t *data, std::size_t size);

    bool atEnd() const { return m_position >= m_size; }
    quint8 byte();
    // A byte folded into 0 .. count-1.
    int choice(int count) { return byte() % count; }
    // Up to maxLength bytes, the length taken from the script first.
    QByteArray bytes(int maxLength);

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};
