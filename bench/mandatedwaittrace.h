#pragma once

#include "serial/exchangetrace.h"

// Adds up the fixed waits the exchanges made: what the reader protocol mandates for the replies
// that actually arrived, and so the floor under a command's wall time. A polled exchange only
// waits after a failed check, so its floor follows the reply, not a constant.
class MandatedWaitTrace final : public ExchangeTrace
{
public:
    void record(const TraceEvent &event) override;

    void reset();
    int waitedMilliseconds() const { return m_waitedMs; }

private:
    int m_waitedMs = 0;
};
