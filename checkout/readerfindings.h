#pragma once

#include "device/clockselection.h"
#include "device/identification.h"
#include "device/readermodel.h"
#include "device/slotstatus.h"

#include <optional>

// What the steps of one checkout found out about the reader, and what they changed in it: the
// identification and its model, the status and the clocks as found (which put the reader
// back), and which settings have been touched.
struct ReaderFindings
{
    Identification identification;
    const ReaderModel *model = nullptr; // once identified as a model of the catalogue
    std::optional<SlotStatus> status;
    std::optional<ClockSelection> clocks;
    bool selectionTouched = false;
    bool clocksTouched = false;
    bool clocksProgrammed = false;

    int slotCount() const { return model ? model->slotCount() : 0; }
    // The occupancy bits of the model's slots.
    quint8 slotBits() const { return model ? model->slotBits() : 0; }
    // Identified, but as no model the checkout knows.
    bool unknownModel() const { return identification.ok() && !model; }
};
