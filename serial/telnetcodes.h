#pragma once

#include <QtGlobal>

// The Telnet bytes a serial server speaks (RFC 854), and the COM Port Control Option that
// carries a serial port's settings and modem lines over it (RFC 2217).
namespace TelnetCodes {

constexpr quint8 Iac = 0xFF; // "interpret as command"; doubled when it is a data byte
constexpr quint8 Dont = 0xFE;
constexpr quint8 Do = 0xFD;
constexpr quint8 Wont = 0xFC;
constexpr quint8 Will = 0xFB;
constexpr quint8 Sb = 0xFA; // subnegotiation begins
constexpr quint8 Se = 0xF0; // subnegotiation ends

constexpr quint8 BinaryOption = 0;
constexpr quint8 SuppressGoAheadOption = 3;
constexpr quint8 ComPortOption = 44;

// COM-PORT-OPTION commands as the client sends them; the server answers each with the same
// number plus ServerOffset.
constexpr quint8 SetBaudRate = 1;
constexpr quint8 SetDataSize = 2;
constexpr quint8 SetParity = 3;
constexpr quint8 SetStopSize = 4;
constexpr quint8 SetControl = 5;
constexpr quint8 NotifyModemState = 7;
constexpr quint8 SetModemStateMask = 11;
constexpr quint8 PurgeData = 12;
constexpr quint8 ServerOffset = 100;

constexpr quint8 NoParity = 1;
constexpr quint8 OneStopBit = 1;
constexpr quint8 NoFlowControl = 1;
constexpr quint8 DtrOn = 8;
constexpr quint8 DtrOff = 9;
constexpr quint8 RtsOn = 11;
constexpr quint8 RtsOff = 12;
constexpr quint8 PurgeReceiveBuffer = 1;

constexpr quint8 ClearToSendState = 0x10;
constexpr quint8 CarrierDetectState = 0x80;
constexpr quint8 ClearToSendChanged = 0x01;
constexpr quint8 CarrierDetectChanged = 0x08;

} // namespace TelnetCodes
