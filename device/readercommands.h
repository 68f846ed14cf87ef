#pragma once

#include "device/clockselection.h"
#include "device/deviceresult.h"
#include "device/identification.h"
#include "device/slotstatus.h"

class DeviceTransaction;

// The byte the echo test got back: the reader's echo, or "?" standing in for a reply of the
// wrong length.
struct EchoResult
{
    DeviceError error = DeviceError::None;
    quint8 echoed = 0;
};

// One typed operation per reader command, each on the exchange the reader expects for it.
// The window, vornctl and the tests all go through here.
class ReaderCommands
{
public:
    explicit ReaderCommands(DeviceTransaction &transaction);

    // "?": occupancy bits and the selected slot.
    DeviceResult<SlotStatus> readStatus();
    // "s": select slot index 0..7.
    void selectSlot(quint8 slotIndex);

    // "v", "t", "n" in one DTR bracket.
    Identification identify();

    // "g"
    DeviceResult<ClockSelection> readClocks();
    // "c"
    void writeClocks(const ClockSelection &selection);
    // "c", then "p" with the unlock code and "m" in one bracket.
    void storeClocks(const ClockSelection &selection);

    // "r": the time setting in counts.
    DeviceResult<quint16> readTimeCounts();
    // "p" with the unlock code, then "o" with the counts, in one bracket.
    void storeTimeCounts(quint16 counts);

    // "e": the reader sends the character back.
    EchoResult echo(quint8 character);

    // "G": the occupancy bits of the Tarvik status (its byte 2).
    DeviceResult<quint8> tarvikStatus();
    // "S": select slot number 1..8.
    DeviceError tarvikSelectSlot(quint8 slotNumber);

private:
    void sendUnlockedRequest(QByteArrayView request);

    DeviceTransaction &m_transaction;
};
