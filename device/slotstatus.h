#pragma once

#include <QList>
#include <QtGlobal>

// One bit per card slot, bit 0 for the first slot: set while the slot holds a card.
struct SlotStatus
{
    quint8 occupancy = 0;
    quint8 selectedSlot = 0; // 0..7

    // The status reply: occupancy bits, then the selected slot in bits 0 to 2.
    static SlotStatus fromReply(quint8 occupancyByte, quint8 selectedByte);

    static bool isOccupied(quint8 occupancy, int slot);
    // Slots holding a card, counted from 1 as their captions count them.
    static QList<int> occupiedSlotNumbers(quint8 occupancy);
};
