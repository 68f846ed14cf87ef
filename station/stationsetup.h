#pragma once

#include "checkout/checkoutoptions.h"
#include "checkout/checkoutrunner.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class CheckoutOutputs;
class ReaderJournal;
class RetestGate;
class StationRecords;

// Who checks, and which lot the readers belong to. Each checkout takes them as it starts and
// carries its own copy to the tile's thread, so an entry made meanwhile changes only the
// checkouts started after it.
struct OperatorAndLot
{
    QString operatorName;
    QString lot;
};

// Everything the station window needs from outside: the ports of its tiles, what a checkout
// asks of every reader, the station's name, and how its threads make clocks and lines and keep
// records. The program fills it from the command line with real time; the tests with the
// virtual clock and the emulated readers.
struct StationSetup
{
    // An idle tile of an --auto station asks its port for the reader's identification this
    // often.
    static constexpr int DefaultProbeIntervalMs = 2000;

    QStringList ports;
    CheckoutOptions options;
    bool planGiven = false; // options is a plan from --plan, not the command line's options
    QString station;
    bool autoCheck = false;
    int probeIntervalMs = DefaultProbeIntervalMs;
    // From the command line: these replace the operator and lot kept from the last run.
    std::optional<QString> operatorName;
    std::optional<QString> lot;

    // Called on a tile's own thread: each checkout and each probe makes its clock and its line
    // there, as a serial port belongs to the thread that opens it.
    CheckoutRunner::ClockMaker clocks;
    CheckoutRunner::LineMaker lines;
    // Where every tile's checkouts go (the records, the line's message bus), with the station's
    // name and the words for a port that did not open; it outlives the window.
    CheckoutOutputs *outputs = nullptr;
    // The station's records thread, which the outputs keep each record through and the window
    // reads from; nothing is kept or shown without it. It outlives the window.
    StationRecords *records = nullptr;
    // Answers the retest limit's question after each identification; it outlives the window.
    RetestGate *retestGate = nullptr;
    // Where the checkouts note what they found before changing a reader (emulated readers
    // aside); none when not given.
    ReaderJournal *journal = nullptr;
};
