#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// One piece of what a Telnet peer sent, in the order it came: data bytes, an option
// negotiation (WILL, WONT, DO, DONT) or a subnegotiation with its payload.
struct TelnetItem
{
    enum class Kind
    {
        Data,
        Negotiation,
        Subnegotiation,
    };
    Kind kind = Kind::Data;
    quint8 verb = 0;   // Negotiation: WILL, WONT, DO or DONT
    quint8 option = 0; // Negotiation and Subnegotiation
    QByteArray bytes;  // Data, or the Subnegotiation's payload after its option
};

// Splits a Telnet byte stream into data and commands. A doubled 0xFF is one data byte, inside a
// subnegotiation too. A command split across two reads is kept until its end arrives; other
// commands (NOP, GA, ...) carry nothing a serial client needs and are dropped.
class TelnetDecoder
{
public:
    QList<TelnetItem> decode(QByteArrayView bytes);
    void reset();

private:
    enum class State
    {
        Data,
        Command,
        Option,
        SubnegotiationOption,
        Subnegotiation,
        SubnegotiationCommand,
    };

    void take(quint8 byte, QList<TelnetItem> &items);
    void appendData(quint8 byte, QList<TelnetItem> &items);

    State m_state = State::Data;
    quint8 m_verb = 0;
    TelnetItem m_subnegotiation;
};
