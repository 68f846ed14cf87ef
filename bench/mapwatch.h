#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>

struct _XDisplay;

// Watches an X server from the outside for the first top-level window of one process to be
// mapped. It listens on the root window before the process starts, so no map can slip by, and
// takes the time the moment the server's MapNotify reaches it: the resolution is the event's
// trip from the server to this process, well under a millisecond on a local server.
class MapWatch
{
public:
    using Clock = std::chrono::steady_clock;

    MapWatch();
    ~MapWatch();
    MapWatch(const MapWatch &) = delete;
    MapWatch &operator=(const MapWatch &) = delete;

    bool connected() const { return m_display != nullptr; }

    // When the first window of pid (by its _NET_WM_PID; a window without one counts too, as
    // nothing else starts on the benchmark's own server) is mapped; nothing after the timeout.
    std::optional<Clock::time_point> waitForMap(pid_t pid, std::chrono::milliseconds timeout);

private:
    bool belongsTo(unsigned long window, pid_t pid);
    bool waitForEvent(Clock::time_point deadline);

    _XDisplay *m_display = nullptr;
    unsigned long m_pidAtom = 0;
};
