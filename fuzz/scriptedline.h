#pragma once

#include "serial/serialline.h"

#include <QByteArray>

#include <deque>

class FuzzScript;
class WaitClock;

// The reader's side of the line, played from a fuzz script. For every request written, the
// script says how many reply bytes come back (0 to 15, any values), how long after the request
// they start, how far apart they travel, and whether the line then misbehaves once: an error
// instead of the next count, or one byte fewer than asked at the next read.
//
// The line also watches how the exchanges use it, and ends the run on a broken rule: nothing
// is written without DTR, no read asks for more than the line last reported waiting, and every
// read and write stays inside the command buffer.
class ScriptedLine final : public SerialLine
{
public:
    static constexpr int MaxReplyLength = 15;

    ScriptedLine(FuzzScript &script, const WaitClock &clock);

    // Where the command buffer lies: reads and writes must stay inside it.
    void watchBuffer(const char *begin, qsizetype size);

    bool dataTerminalReady() const { return m_dtr; }
    // The bytes the last read delivered.
    QByteArray lastRead() const { return m_lastRead; }
    // How many times the line has answered a count with an error so far.
    int errorsReported() const { return m_errorsReported; }

    QString portName() const override { return QStringLiteral("scripted"); }
    bool open() override { return true; }
    void close() override {}
    bool isOpen() const override { return true; }
    OpenFailure openFailure() const override { return OpenFailure::None; }
    QString errorText() const override { return {}; }

    qint64 bytesWaiting() override;
    qint64 read(char *data, qint64 maxSize) override;
    qint64 write(const char *data, qint64 size) override;

    void setDataTerminalReady(bool asserted) override { m_dtr = asserted; }
    void setRequestToSend(bool) override {}
    ModemLines modemLines() override { return {}; }

private:
    struct ScheduledByte
    {
        qint64 arrivalMicroseconds = 0;
        char value = 0;
    };

    void scheduleReply();
    qint64 arrivedCount() const;
    void requireInsideBuffer(const char *data, qint64 size) const;

    FuzzScript &m_script;
    const WaitClock &m_clock;
    const char *m_bufferBegin = nullptr;
    qsizetype m_bufferSize = 0;
    std::deque<ScheduledByte> m_incoming;
    qint64 m_reportedWaiting = 0;
    bool m_dtr = false;
    bool m_failNextCount = false;
    bool m_shortNextRead = false;
    QByteArray m_lastRead;
    int m_errorsReported = 0;
};
