#pragma once

#include "serial/waitclock.h"

#include <functional>

// A clock whose sleep advances time at once. Tests hang an observer on it to see every wait.
class VirtualClock final : public WaitClock
{
public:
    using SleepObserver = std::function<void(int milliseconds)>;

    void sleep(int milliseconds) override;
    qint64 elapsedMicroseconds() const override { return m_now; }

    void advanceMicroseconds(qint64 microseconds) { m_now += microseconds; }
    void setSleepObserver(SleepObserver observer) { m_observer = std::move(observer); }

private:
    qint64 m_now = 0;
    SleepObserver m_observer;
};
