#include "emulator/bytepacer.h"

#include <algorithm>

qint64 BytePacer::reserveByte(qint64 startTicks)
{
    m_freeAt = std::max(m_freeAt, startTicks) + ByteTicks;
    return m_freeAt;
}

void BytePacer::send(QByteArrayView bytes, qint64 startTicks)
{
    for (const char byte : bytes) {
        const qint64 arrival = reserveByte(startTicks);
        m_bytes.push_back(PacedByte{arrival, byte});
    }
}

qsizetype BytePacer::arrivedCount(qint64 nowTicks) const
{
    // Arrival times only grow along the queue.
    const auto firstOnItsWay =
        std::find_if(m_bytes.begin(), m_bytes.end(),
                     [nowTicks](const PacedByte &byte) { return byte.arrival > nowTicks; });
    return std::distance(m_bytes.begin(), firstOnItsWay);
}

QByteArray BytePacer::takeArrived(qint64 nowTicks, qsizetype maxSize)
{
    const qsizetype count = std::min(arrivedCount(nowTicks), maxSize);
    QByteArray taken;
    taken.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        taken.append(m_bytes.front().value);
        m_bytes.pop_front();
    }
    return taken;
}

std::optional<qint64> BytePacer::nextArrival() const
{
    if (m_bytes.empty())
        return std::nullopt;
    return m_bytes.front().arrival;
}

void BytePacer::clear()
{
    m_bytes.clear();
    m_freeAt = 0;
}
