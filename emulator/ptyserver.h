#pragma once

#include "emulator/bytepacer.h"
#include "serial/realclock.h"

#include <QString>

#include <ctime>
#include <optional>

class EmulatedReader;

// Serves one emulated reader on a new pseudo-terminal, in real time: request bytes read from
// the terminal go to the reader, and each reply leaves the answer delay after its request has
// come in, one byte every 1041 2/3 microseconds, as from a reader at 9600 baud.
//
// The server keeps the terminal's far side open itself, so clients may open and close it as
// often as they like without the terminal hanging up. A pseudo-terminal has no DTR, so the
// reader must not wait for it.
class PtyServer
{
public:
    static constexpr int DefaultAnswerDelayMs = 2;

    explicit PtyServer(EmulatedReader &reader);
    ~PtyServer();
    PtyServer(const PtyServer &) = delete;
    PtyServer &operator=(const PtyServer &) = delete;

    // Opens the terminal in raw mode; on failure errorText() says why.
    bool open();
    // The path clients open, such as /dev/pts/3.
    QString clientPath() const { return m_clientPath; }
    QString errorText() const { return m_errorText; }
    void setAnswerDelayMs(int milliseconds) { m_answerDelayMs = milliseconds; }

    // Serves until stopDescriptor becomes readable (a signal descriptor for the stop signals).
    // False when the terminal failed.
    bool serve(int stopDescriptor);

private:
    bool fail(const char *what);
    bool makeRaw();
    void takeRequests();
    void sendArrivedReplies();
    // How long to sleep until the next reply byte is due; nothing when none is on its way.
    std::optional<timespec> timeUntilNextReplyByte() const;
    qint64 nowTicks() const;

    EmulatedReader &m_reader;
    RealClock m_clock;
    BytePacer m_replies;
    int m_answerDelayMs = DefaultAnswerDelayMs;
    int m_master = -1;
    int m_client = -1;
    QString m_clientPath;
    QString m_errorText;
};
