#pragma once

#include <QStringList>

class ExchangeTrace;
class WaitClock;

// What the window is started with: port names the system does not enumerate, and for tests
// or a technician's trace the clock and the trace of the exchanges.
struct WindowOptions
{
    QStringList extraPortNames;
    WaitClock *clock = nullptr;     // real time when none is given
    ExchangeTrace *trace = nullptr; // no trace when none is given
};
