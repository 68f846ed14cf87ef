#pragma once

#include "checkout/checkoutoptions.h"
#include "checkout/checkoutrecord.h"
#include "checkout/checkoutrunner.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class CheckoutSink;

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
    QString station;
    bool autoCheck = false;
    int probeIntervalMs = DefaultProbeIntervalMs;

    // Called on a tile's own thread: each checkout and each probe makes its clock and its line
    // there, as a serial port belongs to the thread that opens it.
    CheckoutRunner::ClockMaker clocks;
    CheckoutRunner::LineMaker lines;
    // Keeps the record of a finished checkout, on the tile's thread; returns what the operator
    // should know (a record that went to the outbox), or nothing.
    std::function<QString(const ReaderRecord &)> keep;
    // Further outputs every tile's checkouts are handed to (the message bus); they outlive the
    // window.
    QList<CheckoutSink *> sinks;
};
