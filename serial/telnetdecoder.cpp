#include "serial/telnetdecoder.h"

#include "serial/telnetcodes.h"

#include <utility>

using namespace TelnetCodes;

QList<TelnetItem> TelnetDecoder::decode(QByteArrayView bytes)
{
    QList<TelnetItem> items;
    for (const char byte : bytes)
        take(quint8(byte), items);
    return items;
}

void TelnetDecoder::reset()
{
    m_state = State::Data;
    m_subnegotiation = {};
}

void TelnetDecoder::take(quint8 byte, QList<TelnetItem> &items)
{
    switch (m_state) {
    case State::Data:
        if (byte == Iac)
            m_state = State::Command;
        else
            appendData(byte, items);
        return;
    case State::Command:
        m_state = State::Data;
        if (byte == Iac) {
            appendData(byte, items);
        } else if (byte >= Will && byte <= Dont) {
            m_verb = byte;
            m_state = State::Option;
        } else if (byte == Sb) {
            m_state = State::SubnegotiationOption;
        }
        return;
    case State::Option:
        items.append(TelnetItem{TelnetItem::Kind::Negotiation, m_verb, byte, {}});
        m_state = State::Data;
        return;
    case State::SubnegotiationOption:
        m_subnegotiation = TelnetItem{TelnetItem::Kind::Subnegotiation, 0, byte, {}};
        m_state = State::Subnegotiation;
        return;
    case State::Subnegotiation:
        if (byte == Iac)
            m_state = State::SubnegotiationCommand;
        else
            m_subnegotiation.bytes.append(char(byte));
        return;
    case State::SubnegotiationCommand:
        if (byte == Iac) {
            m_subnegotiation.bytes.append(char(byte));
            m_state = State::Subnegotiation;
        } else {
            // IAC SE ends it; any other command inside a subnegotiation ends it as well.
            items.append(std::exchange(m_subnegotiation, {}));
            m_state = State::Data;
        }
        return;
    }
}

void TelnetDecoder::appendData(quint8 byte, QList<TelnetItem> &items)
{
    if (items.isEmpty() || items.constLast().kind != TelnetItem::Kind::Data)
        items.append(TelnetItem{});
    items.last().bytes.append(char(byte));
}
