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
    const auto kept = m_bytes.begin() + std::ptrdiff_t(m_first);
    const auto firstOnItsWay = std::find_if(
        kept, m_bytes.end(), [nowTicks](const PacedByte &byte) { return byte.arrival > nowTicks; });
    return std::distance(kept, firstOnItsWay);
}

QByteArray BytePacer::takeArrived(qint64 nowTicks, qsizetype maxSize)
{
    QByteArray taken(std::min(arrivedCount(nowTicks), maxSize), Qt::Uninitialized);
    takeArrived(nowTicks, taken.data(), taken.size());
    return taken;
}

qsizetype BytePacer::takeArrived(qint64 nowTicks, char *data, qsizetype maxSize)
{
    const qsizetype count = std::min(arrivedCount(nowTicks), maxSize);
    const auto kept = m_bytes.begin() + std::ptrdiff_t(m_first);
    std::transform(kept, kept + count, data, [](const PacedByte &byte) { return byte.value; });
    m_first += std::size_t(count);
    // Taken bytes are dropped when none is left (the usual case: the storage stays for the next
    // reply) or, on a line that never runs empty, once they are the larger part of the storage.
    if (m_first == m_bytes.size()) {
        m_bytes.clear();
        m_first = 0;
    } else if (m_first >= CompactAfter && m_first * 2 >= m_bytes.size()) {
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + std::ptrdiff_t(m_first));
        m_first = 0;
    }
    return count;
}

std::optional<qint64> BytePacer::nextArrival() const
{
    if (m_first == m_bytes.size())
        return std::nullopt;
    return m_bytes[m_first].arrival;
}

void BytePacer::clear()
{
    m_bytes.clear();
    m_first = 0;
    m_freeAt = 0;
}
