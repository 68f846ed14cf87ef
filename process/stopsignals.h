#pragma once

#include <QObject>

#include <atomic>
#include <csignal>
#include <thread>

// SIGINT, SIGTERM and SIGHUP as a request to stop, while the object lives: the first one is
// emitted as stopRequested() from a thread of the object's own (receivers in other threads get
// it through their event loop), so that the program ends its work as it would by choice; a
// second one ends the process at once, by that signal.
//
// Made on the main thread before the program starts threads of its own: the signals are blocked
// in the calling thread and so in every thread it starts later, and only the object's thread
// takes them, waiting for them with sigwait: no handler runs in the middle of anything, so no
// reader's wait or read is ever cut short by one.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    StopSignals();
    // Puts back the calling thread's mask.
    ~StopSignals() override;
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // The first signal that came, or 0.
    int received() const;
    // What a shell reports for a process that a signal ended: 130, 143, 129.
    static int exitCode(int signal) { return 128 + signal; }

signals:
    void stopRequested(int signal);

protected:
    // The watcher starts once something listens, so that what the connection made is in place
    // before the thread that calls it exists.
    void connectNotify(const QMetaMethod &signal) override;

private:
    void watch();

    sigset_t m_previousMask{};
    std::atomic<bool> m_ending{false};
    std::thread m_watcher;
};
