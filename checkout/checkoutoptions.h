#pragma once

#include "device/clockselection.h"

#include "checkout/measurement.h"
#include "checkout/planidentity.h"

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
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
    // The steps to run, in the catalogue's order; empty: the standard steps, then cards and
    // the programming steps as the options above ask for them.
    QStringList steps;
    // Limits that replace a measurement's default, by measurement name (a plan's).
    QMap<QString, MeasurementLimit> limits;
    // A reader whose last retestLimit attempts since its last repair all failed or ended in
    // error is refused after its identification; no limit when empty.
    std::optional<int> retestLimit;
    // No checkout starts without a lot: a line that traces every reader to its work order
    // refuses an empty one rather than keep records nobody can place.
    bool requireLot = false;

    // The plan the options come from ("command-line" for the options of a command line).
    PlanIdentity plan{QStringLiteral("command-line"), {}, {}};

    // The names of the steps that run, in their order.
    QStringList stepNames() const;
    // The limit a measurement is held against: the plan's, else the one --model or
    // --min-firmware make, else the catalogue's default. Fixed limits are the reader's.
    MeasurementLimit limit(const QString &measurement) const;

    // {"model", "min_firmware", "echo", "prompt", "cards", "program_clocks" (MHz texts, slot 1
    // first), "program_time_s", "steps", "limits", "retest_limit"}; what was not asked for is
    // null.
    QJsonObject toJson() const;
};
