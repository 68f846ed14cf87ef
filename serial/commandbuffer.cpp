#include "serial/commandbuffer.h"

#include <algorithm>

qsizetype CommandBuffer::load(QByteArrayView request)
{
    const qsizetype length = std::min(request.size(), Size);
    std::copy_n(request.data(), length, m_bytes.begin());
    return length;
}

quint8 CommandBuffer::at(qsizetype index) const
{
    if (index < 0 || index >= Size)
        return 0;
    return static_cast<quint8>(m_bytes[static_cast<std::size_t>(index)]);
}

QByteArrayView CommandBuffer::view(qsizetype length) const
{
    return QByteArrayView(m_bytes.data(), std::clamp<qsizetype>(length, 0, Size));
}
