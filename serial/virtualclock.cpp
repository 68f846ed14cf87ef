#include "serial/virtualclock.h"

void VirtualClock::sleep(int milliseconds)
{
    if (m_observer)
        m_observer(milliseconds);
    if (milliseconds > 0)
        m_now += qint64(milliseconds) * 1000;
}
