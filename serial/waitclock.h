#pragma once

#include <QtGlobal>

// Every fixed wait of the reader exchanges goes through this interface, so that the product
// waits in real time while the tests run the same waits on a virtual clock in no time at all.
class WaitClock
{
public:
    virtual ~WaitClock() = default;

    // Blocks the calling thread (or advances virtual time) by the given milliseconds.
    virtual void sleep(int milliseconds) = 0;

    // Time since the clock started, in microseconds; a byte takes about a millisecond on the
    // line, so the emulated reader needs more than millisecond resolution.
    virtual qint64 elapsedMicroseconds() const = 0;

    qint64 elapsedMilliseconds() const { return elapsedMicroseconds() / 1000; }
};
