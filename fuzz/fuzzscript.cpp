#include "fuzzscript.h"

FuzzScript::FuzzScript(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

quint8 FuzzScript::byte()
{
    return atEnd() ? 0 : m_data[m_position++];
}

QByteArray FuzzScript::bytes(int maxLength)
{
    const int length = choice(maxLength + 1);
    QByteArray result;
    result.reserve(length);
    for (int i = 0; i < length; ++i)
        result.append(char(byte()));
    return result;
}
