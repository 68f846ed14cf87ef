#pragma once

#include "serial/serialline.h"
#include "serial/telnetdecoder.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// The client side of the Telnet COM Port Control Option (RFC 2217), without the socket: it
// says what to send to the serial server and reads what the server sends back. The reader's
// line parameters are asked for at the start and every answer is checked against them.
// DTR and RTS changes are sent and never waited for: TCP keeps their order before the data
// that follows them. A server that never answers them (ser2net in front of a port without
// modem lines) is noticed by the order of what it sends: data written after a change comes
// back while the change is still unanswered.
class ComPortClient
{
public:
    enum class Settings
    {
        Pending,
        Confirmed,
        Refused,
    };

    // Option negotiation, the modem lines to report, the line parameters and a purge of what
    // the server holds from before this connection; settings() is Confirmed once all of these
    // are answered.
    QByteArray opening();

    // Takes what the server sent: appends its data bytes to data, keeps its answers, and
    // returns what must be answered at once (option negotiation), empty when nothing.
    QByteArray received(QByteArrayView bytes, QByteArray &data);

    // Data bytes as they go on the wire, 0xFF doubled.
    QByteArray dataBytes(QByteArrayView data);
    // A SET-CONTROL request for DTR or RTS.
    QByteArray control(quint8 value);

    Settings settings() const;
    // The line parameter requests (and the purge) that have no answer yet, to send again.
    QByteArray unansweredSettings() const;
    // Why the server's answers do not give the reader's line, once settings() is Refused.
    QString settingsProblem() const { return m_problem; }
    ModemLines modemLines() const { return m_modemLines; }
    // True once, the first time the server is seen to have let a DTR or RTS change pass
    // without an answer.
    bool takeUnansweredControlNotice();

private:
    struct Setting
    {
        quint8 command;
        quint32 wanted;
        int width; // bytes of the value on the wire
        const char *what;
        std::optional<quint32> answered;
    };

    QByteArray negotiate(quint8 verb, quint8 option);
    QByteArray answerNegotiation(quint8 verb, quint8 option);
    void takeCommandAnswer(const QByteArray &payload);
    void checkSetting(Setting &setting, quint32 value);

    TelnetDecoder m_decoder;
    std::array<Setting, 5> m_settings{};
    QByteArray m_negotiationsSent; // verb and option pairs, so that none is sent twice
    bool m_comPortAccepted = false;
    QString m_problem;
    ModemLines m_modemLines;
    int m_controlsSent = 0;
    int m_controlsBeforeLastData = 0;
    int m_controlAnswers = 0;
    bool m_unansweredSeen = false;
    bool m_unansweredNoticed = false;
};
