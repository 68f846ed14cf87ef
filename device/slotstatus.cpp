#include "device/slotstatus.h"

#include "device/readerprotocol.h"

SlotStatus SlotStatus::fromReply(quint8 occupancyByte, quint8 selectedByte)
{
    return SlotStatus{occupancyByte, static_cast<quint8>(selectedByte & 0x07)};
}

bool SlotStatus::isOccupied(quint8 occupancy, int slot)
{
    return slot >= 0 && slot < ReaderProtocol::SlotCount && (occupancy >> slot) & 1;
}

QList<int> SlotStatus::occupiedSlotNumbers(quint8 occupancy)
{
    QList<int> numbers;
    for (int slot = 0; slot < ReaderProtocol::SlotCount; ++slot)
        if (isOccupied(occupancy, slot))
            numbers.append(slot + 1);
    return numbers;
}
