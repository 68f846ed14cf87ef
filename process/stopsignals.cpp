#include "process/stopsignals.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> Stopping{SIGINT, SIGTERM, SIGHUP};

// What the handler may touch: lock-free, set before the handler is installed.
std::atomic<int> firstSignal{0};
int pipeWriteEnd = -1;
static_assert(std::atomic<int>::is_always_lock_free);

sigset_t stoppingSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : Stopping)
        sigaddset(&set, signal);
    return set;
}

void onStopSignal(int signal)
{
    const int savedErrno = errno;
    int none = 0;
    if (firstSignal.compare_exchange_strong(none, signal)) {
        const char byte = char(signal);
        [[maybe_unused]] const ssize_t written = ::write(pipeWriteEnd, &byte, 1);
    } else {
        // Asked twice: the process ends now, by the signal itself, once this handler returns
        // (the signal stays blocked until then).
        struct sigaction standard = {};
        standard.sa_handler = SIG_DFL;
        sigemptyset(&standard.sa_mask);
        ::sigaction(signal, &standard, nullptr);
        ::raise(signal);
    }
    errno = savedErrno;
}

} // namespace

StopSignals::StopSignals()
{
    firstSignal.store(0);
    if (::pipe2(m_pipe, O_CLOEXEC) != 0)
        qFatal("cannot make a pipe for the stop signals: %s", strerror(errno));
    pipeWriteEnd = m_pipe[1];

    const sigset_t stopping = stoppingSet();
    pthread_sigmask(SIG_BLOCK, &stopping, &m_previousMask);
    // Made after the mask: the watcher's own thread starts with the signals blocked, and takes
    // them once it is ready to.
    m_watcher = std::thread([this] { watch(); });

    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    action.sa_mask = stopping; // one handler at a time
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < Stopping.size(); ++i)
        ::sigaction(Stopping[i], &action, &m_previousActions[i]);
}

StopSignals::~StopSignals()
{
    const char end = 0;
    [[maybe_unused]] const ssize_t written = ::write(m_pipe[1], &end, 1);
    m_watcher.join();
    for (std::size_t i = 0; i < Stopping.size(); ++i)
        ::sigaction(Stopping[i], &m_previousActions[i], nullptr);
    pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
    pipeWriteEnd = -1;
}

int StopSignals::received() const
{
    return firstSignal.load();
}

void StopSignals::watch()
{
    const sigset_t stopping = stoppingSet();
    pthread_sigmask(SIG_UNBLOCK, &stopping, nullptr);
    for (;;) {
        char byte = 0;
        const ssize_t got = ::read(m_pipe[0], &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || byte == 0)
            break;
        emit stopRequested(int(byte));
    }
    // Whatever comes from now on waits, blocked, for the handling put back.
    pthread_sigmask(SIG_BLOCK, &stopping, nullptr);
}
