#pragma once

#include "device/clockselection.h"

#include <QJsonObject>
#include <QtGlobal>

#include <optional>

// What a checkout asks of every reader it checks: the limits the identification is held
// against, how thorough the echo is, whether an operator is there to look and to insert cards,
// and the settings to program, if any.
struct CheckoutOptions
{
    enum class Echo
    {
        Quick, // eight byte values that set and clear every bit
        All,   // every byte value
    };

    std::optional<quint8> model;       // the model type the reader must report: 4 or 8
    std::optional<quint8> minFirmware; // the lowest firmware version accepted
    Echo echo = Echo::Quick;
    bool prompt = false; // an operator answers questions: the display and card steps run
    bool cards = false;  // the card step: every slot occupied, then none
    std::optional<ClockSelection> programClocks; // set and stored, then read back
    std::optional<quint16> programTimeCounts;    // stored, then read back
    // A reader whose last retestLimit attempts since its last repair all failed or ended in
    // error is refused after its identification; no limit when empty.
    std::optional<int> retestLimit;
    // No checkout starts without a lot: a line that traces every reader to its work order
    // refuses an empty one rather than keep records nobody can place.
    bool requireLot = false;

    // {"model", "min_firmware", "echo", "prompt", "cards", "program_clocks" (MHz texts, slot 1
    // first), "program_time_s", "retest_limit"}; what was not asked for is null.
    QJsonObject toJson() const;
};
