#include "serial/realclock.h"

#include <QThread>

RealClock::RealClock()
{
    m_timer.start();
}

void RealClock::sleep(int milliseconds)
{
    if (milliseconds > 0)
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}

qint64 RealClock::elapsedMicroseconds() const
{
    return m_timer.nsecsElapsed() / 1000;
}
