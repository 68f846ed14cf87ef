#include "emulator/emulatedline.h"

#include "emulator/emulatedreader.h"
#include "serial/waitclock.h"

#include <algorithm>

EmulatedLine::EmulatedLine(EmulatedReader &reader, WaitClock &clock, const QString &portName)
    : m_reader(reader), m_clock(clock), m_portName(portName)
{
}

EmulatedLine::~EmulatedLine()
{
    close();
}

bool EmulatedLine::open()
{
    if (isOpen())
        return true;
    if (m_reader.isVanished()) {
        m_openFailure = OpenFailure::NoSuchPort;
        m_errorText = QStringLiteral("No such file or directory");
        return false;
    }
    dropInFlight();
    m_open = true;
    m_lost = false;
    m_dtr = false;
    m_rts = false;
    m_openFailure = OpenFailure::None;
    m_errorText.clear();
    return true;
}

void EmulatedLine::close()
{
    if (!m_open)
        return;
    if (m_dtr)
        m_reader.setDataTerminalReady(false);
    dropInFlight();
    m_open = false;
    m_lost = false;
    m_dtr = false;
    m_rts = false;
}

bool EmulatedLine::isOpen() const
{
    return m_open && !m_lost && !m_reader.isVanished();
}

qint64 EmulatedLine::bytesWaiting()
{
    if (!usable())
        return -1;
    return m_fromReader.arrivedCount(nowTicks());
}

qint64 EmulatedLine::read(char *data, qint64 maxSize)
{
    if (!usable())
        return -1;
    return m_fromReader.takeArrived(nowTicks(), data, maxSize);
}

qint64 EmulatedLine::write(const char *data, qint64 size)
{
    if (!usable())
        return -1;
    const qint64 now = nowTicks();
    for (qint64 i = 0; i < size; ++i) {
        // The reader acts on each byte at once; only the timing of its reply follows the line.
        const qint64 arrival = m_toReader.reserveByte(now);
        const std::optional<ReaderAnswer> answer = m_reader.receiveByte(data[i]);
        if (!answer || answer->bytes.isEmpty())
            continue;
        const int delayMs = answer->late ? m_reader.lateDelayMs() : m_answerDelayMs;
        m_fromReader.send(answer->bytes, arrival + BytePacer::ticksFromMilliseconds(delayMs));
    }
    return size;
}

void EmulatedLine::setDataTerminalReady(bool asserted)
{
    if (!usable())
        return;
    m_dtr = asserted;
    m_reader.setDataTerminalReady(asserted);
}

void EmulatedLine::setRequestToSend(bool asserted)
{
    if (!usable())
        return;
    m_rts = asserted;
}

ModemLines EmulatedLine::modemLines()
{
    if (!usable())
        return {};
    return m_reader.modemLines();
}

bool EmulatedLine::usable()
{
    if (!m_open || m_lost)
        return false;
    if (m_reader.isVanished()) {
        m_lost = true;
        m_errorText = QStringLiteral("The device has been disconnected");
        dropInFlight();
        return false;
    }
    return true;
}

qint64 EmulatedLine::nowTicks() const
{
    return BytePacer::ticksFromMicroseconds(m_clock.elapsedMicroseconds());
}

void EmulatedLine::dropInFlight()
{
    m_toReader.clear();
    m_fromReader.clear();
}
