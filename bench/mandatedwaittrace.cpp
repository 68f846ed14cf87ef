#include "mandatedwaittrace.h"

void MandatedWaitTrace::record(const TraceEvent &event)
{
    if (event.kind == TraceKind::Wait)
        m_waitedMs += int(event.value);
}

void MandatedWaitTrace::reset()
{
    m_waitedMs = 0;
}
