#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <vector>

// One direction of the reader's line: bytes leave one after another at 9600 baud 8N1, each
// with the moment it has fully arrived at the far end.
//
// Time is counted in ticks of a third of a microsecond. One byte is 10 bits at 9600 baud,
// 1041 2/3 microseconds, which is exactly 3125 ticks, so no rounding builds up however long
// the line stays busy.
class BytePacer
{
public:
    static constexpr qint64 TicksPerMicrosecond = 3;
    static constexpr qint64 ByteTicks = 3125;

    static constexpr qint64 ticksFromMicroseconds(qint64 microseconds)
    {
        return microseconds * TicksPerMicrosecond;
    }
    static constexpr qint64 ticksFromMilliseconds(qint64 milliseconds)
    {
        return ticksFromMicroseconds(milliseconds * 1000);
    }

    // Sends one byte that is ready at startTicks; it leaves then, or once the previous byte
    // has left. Returns the tick at which it has fully arrived. The byte itself is not kept.
    qint64 reserveByte(qint64 startTicks);

    // Sends bytes ready at startTicks and keeps them until they are taken.
    void send(QByteArrayView bytes, qint64 startTicks);

    // The kept bytes that have fully arrived by nowTicks.
    qsizetype arrivedCount(qint64 nowTicks) const;
    // Takes up to maxSize arrived bytes, oldest first.
    QByteArray takeArrived(qint64 nowTicks, qsizetype maxSize);
    // The same into the caller's buffer, without touching the heap; returns the count taken.
    qsizetype takeArrived(qint64 nowTicks, char *data, qsizetype maxSize);
    // When the next kept byte arrives; nothing when none is on its way or waiting.
    std::optional<qint64> nextArrival() const;

    // Forgets every kept byte and frees the line at once.
    void clear();

private:
    static constexpr std::size_t CompactAfter = 256;

    struct PacedByte
    {
        qint64 arrival = 0;
        char value = 0;
    };

    // The bytes still kept are m_bytes from m_first on. Taken bytes are only skipped, and the
    // storage is reused once all are taken, so a line in steady use never allocates.
    std::vector<PacedByte> m_bytes;
    std::size_t m_first = 0;
    qint64 m_freeAt = 0;
};
