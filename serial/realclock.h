#pragma once

#include "serial/waitclock.h"

#include <QElapsedTimer>

class RealClock final : public WaitClock
{
public:
    RealClock();

    void sleep(int milliseconds) override;
    qint64 elapsedMicroseconds() const override;

private:
    QElapsedTimer m_timer;
};
