#include "serial/comportclient.h"

#include "serial/telnetcodes.h"

using namespace TelnetCodes;

namespace {

QByteArray command(quint8 code, QByteArrayView value)
{
    QByteArray bytes;
    bytes.append(char(Iac)).append(char(Sb)).append(char(ComPortOption)).append(char(code));
    for (const char byte : value) {
        bytes.append(byte);
        if (quint8(byte) == Iac)
            bytes.append(byte);
    }
    return bytes.append(char(Iac)).append(char(Se));
}

QByteArray bigEndian(quint32 value, int width)
{
    QByteArray bytes;
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
    return bytes;
}

quint32 fromBigEndian(QByteArrayView bytes)
{
    quint32 value = 0;
    for (const char byte : bytes)
        value = (value << 8) | quint8(byte);
    return value;
}

bool isLineControl(quint8 value)
{
    return value == DtrOn || value == DtrOff || value == RtsOn || value == RtsOff;
}

bool accepted(quint8 option)
{
    return option == BinaryOption || option == SuppressGoAheadOption || option == ComPortOption;
}

} // namespace

QByteArray ComPortClient::opening()
{
    m_settings = {{
        {SetBaudRate, 9600, 4, "baud rate", {}},
        {SetDataSize, 8, 1, "data size", {}},
        {SetParity, NoParity, 1, "parity", {}},
        {SetStopSize, OneStopBit, 1, "stop size", {}},
        // What the server held from before this connection is dropped before the first
        // request goes out: a purge answered late would take the reply with it.
        {PurgeData, PurgeReceiveBuffer, 1, "purge", {}},
    }};
    QByteArray bytes = negotiate(Will, ComPortOption) + negotiate(Do, BinaryOption) +
                       negotiate(Will, BinaryOption);
    bytes += command(SetControl, QByteArray(1, char(NoFlowControl)));
    // The change bits belong in the mask as well: ser2net reports a line only when its change
    // bit passes the mask.
    const quint8 watched =
        ClearToSendState | CarrierDetectState | ClearToSendChanged | CarrierDetectChanged;
    bytes += command(SetModemStateMask, QByteArray(1, char(watched)));
    return bytes + unansweredSettings();
}

QByteArray ComPortClient::unansweredSettings() const
{
    QByteArray bytes;
    for (const Setting &setting : m_settings) {
        if (!setting.answered)
            bytes += command(setting.command, bigEndian(setting.wanted, setting.width));
    }
    return bytes;
}

QByteArray ComPortClient::received(QByteArrayView bytes, QByteArray &data)
{
    QByteArray answer;
    for (const TelnetItem &item : m_decoder.decode(bytes)) {
        switch (item.kind) {
        case TelnetItem::Kind::Data:
            // The server answers a change as soon as it reads it, before the data written
            // after it reaches the port, let alone before the reader's reply comes back.
            m_unansweredSeen = m_unansweredSeen || m_controlAnswers < m_controlsBeforeLastData;
            data += item.bytes;
            break;
        case TelnetItem::Kind::Negotiation:
            answer += answerNegotiation(item.verb, item.option);
            break;
        case TelnetItem::Kind::Subnegotiation:
            if (item.option == ComPortOption && !item.bytes.isEmpty())
                takeCommandAnswer(item.bytes);
            break;
        }
    }
    return answer;
}

QByteArray ComPortClient::dataBytes(QByteArrayView data)
{
    m_controlsBeforeLastData = m_controlsSent;
    QByteArray bytes;
    bytes.reserve(data.size());
    for (const char byte : data) {
        bytes.append(byte);
        if (quint8(byte) == Iac)
            bytes.append(byte);
    }
    return bytes;
}

QByteArray ComPortClient::control(quint8 value)
{
    ++m_controlsSent;
    return command(SetControl, QByteArray(1, char(value)));
}

ComPortClient::Settings ComPortClient::settings() const
{
    if (!m_problem.isEmpty())
        return Settings::Refused;
    if (!m_comPortAccepted)
        return Settings::Pending;
    for (const Setting &setting : m_settings) {
        if (!setting.answered)
            return Settings::Pending;
    }
    return Settings::Confirmed;
}

bool ComPortClient::takeUnansweredControlNotice()
{
    if (!m_unansweredSeen || m_unansweredNoticed)
        return false;
    m_unansweredNoticed = true;
    return true;
}

QByteArray ComPortClient::negotiate(quint8 verb, quint8 option)
{
    QByteArray pair;
    pair.append(char(verb)).append(char(option));
    for (qsizetype at = 0; at + 1 < m_negotiationsSent.size(); at += 2) {
        if (m_negotiationsSent.sliced(at, 2) == pair)
            return {};
    }
    m_negotiationsSent += pair;
    return QByteArray(1, char(Iac)) + pair;
}

QByteArray ComPortClient::answerNegotiation(quint8 verb, quint8 option)
{
    if (option == ComPortOption && verb == Do)
        m_comPortAccepted = true;
    if (option == ComPortOption && verb == Dont)
        m_problem = QStringLiteral("the server does not offer serial port control (RFC 2217)");
    // Each request is answered once; a refusal needs no answer.
    if (verb == Will)
        return negotiate(accepted(option) ? Do : Dont, option);
    if (verb == Do)
        return negotiate(accepted(option) ? Will : Wont, option);
    return {};
}

void ComPortClient::takeCommandAnswer(const QByteArray &payload)
{
    const quint8 code = quint8(payload.at(0)) - ServerOffset;
    const QByteArrayView value = QByteArrayView(payload).sliced(1);
    if (code == SetControl && !value.isEmpty() && isLineControl(quint8(value.at(0)))) {
        ++m_controlAnswers;
    } else if (code == NotifyModemState && !value.isEmpty()) {
        const quint8 state = quint8(value.at(0));
        m_modemLines =
            ModemLines{(state & ClearToSendState) != 0, (state & CarrierDetectState) != 0};
    }
    for (Setting &setting : m_settings) {
        if (setting.command == code && value.size() == setting.width)
            checkSetting(setting, fromBigEndian(value));
    }
}

void ComPortClient::checkSetting(Setting &setting, quint32 value)
{
    setting.answered = value;
    if (value != setting.wanted && m_problem.isEmpty())
        m_problem = QStringLiteral("the serial server set the %1 to %2 instead of %3")
                        .arg(QLatin1String(setting.what))
                        .arg(value)
                        .arg(setting.wanted);
}
