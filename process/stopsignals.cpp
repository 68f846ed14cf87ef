#include "process/stopsignals.h"

#include <array>
#include <cstdlib>

#include <pthread.h>

namespace {

constexpr std::array<int, 3> Stopping{SIGINT, SIGTERM, SIGHUP};

std::atomic<int> firstSignal{0};

sigset_t stoppingSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : Stopping)
        sigaddset(&set, signal);
    return set;
}

// Asked twice: the process ends now, by the signal itself, as it would without this object.
[[noreturn]] void endBy(int signal)
{
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    ::sigaction(signal, &standard, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    std::_Exit(StopSignals::exitCode(signal));
}

} // namespace

StopSignals::StopSignals()
{
    firstSignal.store(0);
    const sigset_t stopping = stoppingSet();
    pthread_sigmask(SIG_BLOCK, &stopping, &m_previousMask);
}

void StopSignals::connectNotify(const QMetaMethod &)
{
    // Made after the mask: the watcher's own thread starts with the signals blocked too, and
    // takes them from the process's pending set (also those that came before it) with sigwait.
    if (!m_watcher.joinable())
        m_watcher = std::thread([this] { watch(); });
}

StopSignals::~StopSignals()
{
    // Wakes the watcher with a signal of its own, which it then knows for the end.
    m_ending.store(true);
    if (m_watcher.joinable()) {
        pthread_kill(m_watcher.native_handle(), SIGHUP);
        m_watcher.join();
    }
    pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
}

int StopSignals::received() const
{
    return firstSignal.load();
}

void StopSignals::watch()
{
    const sigset_t stopping = stoppingSet();
    for (;;) {
        int signal = 0;
        if (sigwait(&stopping, &signal) != 0)
            continue;
        if (m_ending.load())
            return;
        int none = 0;
        if (!firstSignal.compare_exchange_strong(none, signal))
            endBy(signal);
        emit stopRequested(signal);
    }
}
