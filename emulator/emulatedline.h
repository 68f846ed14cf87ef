#pragma once

#include "emulator/bytepacer.h"
#include "serial/serialline.h"

class EmulatedReader;
class WaitClock;

// The port to an emulated reader, in the same process. Nothing runs in the background: when a
// request is written the reader answers at once, and the clock decides which bytes have
// travelled. Both directions run at 9600 baud 8N1 (1041 2/3 microseconds a byte); a reply
// starts the answer delay after the last byte of its request has arrived, so a test on a
// virtual clock sees it come in byte by byte, exactly as a real clock would.
//
// When the reader vanishes the line behaves like a pulled adapter: every call fails until
// close, and open fails with NoSuchPort until the reader is back.
class EmulatedLine final : public SerialLine
{
public:
    static constexpr int DefaultAnswerDelayMs = 2;

    EmulatedLine(EmulatedReader &reader, WaitClock &clock,
                 const QString &portName = QStringLiteral("emulated"));
    ~EmulatedLine() override;

    QString portName() const override { return m_portName; }
    bool open() override;
    // Drops whatever is still on its way in either direction.
    void close() override;
    bool isOpen() const override;
    OpenFailure openFailure() const override { return m_openFailure; }
    QString errorText() const override { return m_errorText; }

    qint64 bytesWaiting() override;
    qint64 read(char *data, qint64 maxSize) override;
    qint64 write(const char *data, qint64 size) override;

    void setDataTerminalReady(bool asserted) override;
    void setRequestToSend(bool asserted) override;
    ModemLines modemLines() override;

    bool dataTerminalReady() const { return m_dtr; }
    bool requestToSend() const { return m_rts; }
    int answerDelayMs() const { return m_answerDelayMs; }
    void setAnswerDelayMs(int milliseconds) { m_answerDelayMs = milliseconds; }
    EmulatedReader &reader() { return m_reader; }

private:
    // Open and the reader still there; the first call that finds the reader gone marks the
    // line lost until close.
    bool usable();
    qint64 nowTicks() const;
    void dropInFlight();

    EmulatedReader &m_reader;
    WaitClock &m_clock;
    QString m_portName;
    BytePacer m_toReader;
    BytePacer m_fromReader;
    int m_answerDelayMs = DefaultAnswerDelayMs;
    bool m_open = false;
    bool m_lost = false;
    bool m_dtr = false;
    bool m_rts = false;
    OpenFailure m_openFailure = OpenFailure::None;
    QString m_errorText;
};
