#pragma once

#include <QString>

#include <optional>

// A port on a network serial server, named as scripting libraries name it:
// rfc2217://HOST:PORT for a server that speaks the Telnet COM Port Control Option,
// socket://HOST:PORT for one that passes raw bytes. HOST is a name, an IPv4 address or an IPv6
// address in brackets ([::1]).
struct NetworkPortName
{
    enum class Scheme
    {
        Rfc2217,
        RawSocket,
    };

    Scheme scheme = Scheme::Rfc2217;
    QString host;
    quint16 port = 0;

    // True for a name that asks for a network port, well formed or not: such a name is never
    // taken for a device file.
    static bool isNetworkName(const QString &name);
    // The parts of a well-formed name; nothing for a malformed one.
    static std::optional<NetworkPortName> parse(const QString &name);
};
