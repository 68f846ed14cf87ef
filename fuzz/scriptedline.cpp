#include "scriptedline.h"

#include "fuzzscript.h"
#include "invariant.h"
#include "serial/waitclock.h"

#include <algorithm>

namespace {

// One byte at 9600 baud 8N1, rounded up.
constexpr qint64 ByteMicroseconds = 1042;
constexpr qint64 DelayStepMicroseconds = 5000;

enum LineFault : quint8
{
    FailNextCount = 0x01,
    ShortNextRead = 0x02,
};

} // namespace

ScriptedLine::ScriptedLine(FuzzScript &script, const WaitClock &clock)
    : m_script(script), m_clock(clock)
{
}

void ScriptedLine::watchBuffer(const char *begin, qsizetype size)
{
    m_bufferBegin = begin;
    m_bufferSize = size;
}

qint64 ScriptedLine::bytesWaiting()
{
    if (m_failNextCount) {
        m_failNextCount = false;
        m_reportedWaiting = 0;
        ++m_errorsReported;
        return -1;
    }
    m_reportedWaiting = arrivedCount();
    return m_reportedWaiting;
}

qint64 ScriptedLine::read(char *data, qint64 maxSize)
{
    requireInsideBuffer(data, maxSize);
    require(maxSize <= m_reportedWaiting, "a read asked for more than was reported waiting");
    qint64 deliver = std::min(maxSize, arrivedCount());
    if (m_shortNextRead) {
        m_shortNextRead = false;
        deliver = std::max<qint64>(0, deliver - 1);
    }
    m_lastRead.clear();
    for (qint64 i = 0; i < deliver; ++i) {
        data[i] = m_incoming.front().value;
        m_lastRead.append(m_incoming.front().value);
        m_incoming.pop_front();
    }
    m_reportedWaiting -= deliver;
    return deliver;
}

qint64 ScriptedLine::write(const char *data, qint64 size)
{
    requireInsideBuffer(data, size);
    require(m_dtr, "a request was written without DTR");
    require(size > 0, "an empty request was written");
    scheduleReply();
    return size;
}

void ScriptedLine::scheduleReply()
{
    const int length = m_script.choice(MaxReplyLength + 1);
    const qint64 delay = qint64(m_script.byte()) * DelayStepMicroseconds;
    const qint64 gap = qint64(m_script.choice(8)) * 1000;
    // A reply starts after whatever is still on its way.
    qint64 arrival = m_clock.elapsedMicroseconds() + delay;
    if (!m_incoming.empty())
        arrival = std::max(arrival, m_incoming.back().arrivalMicroseconds);
    for (int i = 0; i < length; ++i) {
        arrival += ByteMicroseconds + (i > 0 ? gap : 0);
        m_incoming.push_back({arrival, char(m_script.byte())});
    }
    const quint8 faults = m_script.byte();
    m_failNextCount = faults & FailNextCount;
    m_shortNextRead = faults & ShortNextRead;
}

qint64 ScriptedLine::arrivedCount() const
{
    const qint64 now = m_clock.elapsedMicroseconds();
    const auto firstOnItsWay =
        std::find_if(m_incoming.begin(), m_incoming.end(),
                     [now](const ScheduledByte &byte) { return byte.arrivalMicroseconds > now; });
    return firstOnItsWay - m_incoming.begin();
}

void ScriptedLine::requireInsideBuffer(const char *data, qint64 size) const
{
    require(m_bufferBegin != nullptr, "the command buffer is not being watched");
    require(size >= 0 && data >= m_bufferBegin && size <= m_bufferSize &&
                data - m_bufferBegin <= m_bufferSize - size,
            "a read or write reaches outside the command buffer");
}
