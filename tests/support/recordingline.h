#pragma once

#include "serial/serialline.h"
#include "serial/virtualclock.h"

#include <QByteArray>
#include <QStringList>

#include <functional>

// A line for exchange tests: it keeps one log of everything the tool does to it, in order,
// and the waits of its virtual clock go into the same log. Log entries:
//   "W 3f 01"  bytes written        "R 2"  a read asking for 2 bytes
//   "DTR 1"    DTR asserted / 0     "RTS 1" likewise for RTS
//   "C"        a count asked for    "S 50" a wait of 50 ms
// Tests answer requests through onWrite, or put bytes in front of the tool with feed().
class RecordingLine final : public SerialLine
{
public:
    RecordingLine();

    QString portName() const override { return QStringLiteral("recording"); }
    bool open() override;
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    OpenFailure openFailure() const override
    {
        return m_failOpen ? OpenFailure::Other : OpenFailure::None;
    }
    QString errorText() const override { return {}; }

    qint64 bytesWaiting() override;
    qint64 read(char *data, qint64 maxSize) override;
    qint64 write(const char *data, qint64 size) override;
    void setDataTerminalReady(bool asserted) override;
    void setRequestToSend(bool asserted) override;
    ModemLines modemLines() override { return m_lines; }

    VirtualClock &clock() { return m_clock; }
    const QStringList &log() const { return m_log; }
    void clearLog() { m_log.clear(); }
    // Only the entries of the given kinds ("W", "R", "DTR", "S", ...).
    QStringList logOf(const QStringList &kinds) const;
    QByteArray written() const { return m_written; }

    void feed(const QByteArray &bytes) { m_incoming += bytes; }
    void setOnWrite(std::function<void(const QByteArray &)> handler)
    {
        m_onWrite = std::move(handler);
    }
    // Makes every count report an error (a negative count).
    void setCountError(bool error) { m_countError = error; }
    void setFailOpen(bool fail) { m_failOpen = fail; }
    void setModemLines(ModemLines lines) { m_lines = lines; }
    bool dtr() const { return m_dtr; }
    bool rts() const { return m_rts; }
    // Total of the waits taken so far, in milliseconds.
    qint64 waitedMs() const { return m_clock.elapsedMilliseconds(); }

private:
    VirtualClock m_clock;
    QStringList m_log;
    QByteArray m_incoming;
    QByteArray m_written;
    std::function<void(const QByteArray &)> m_onWrite;
    ModemLines m_lines;
    bool m_open = false;
    bool m_failOpen = false;
    bool m_countError = false;
    bool m_dtr = false;
    bool m_rts = false;
};
