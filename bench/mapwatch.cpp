#include "mapwatch.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <poll.h>

MapWatch::MapWatch() : m_display(XOpenDisplay(nullptr))
{
    if (!m_display)
        return;
    m_pidAtom = XInternAtom(m_display, "_NET_WM_PID", False);
    // Without a window manager every top-level window is a child of the root window, so its
    // map shows up in the root's substructure.
    XSelectInput(m_display, DefaultRootWindow(m_display), SubstructureNotifyMask);
    XSync(m_display, False);
}

MapWatch::~MapWatch()
{
    if (m_display)
        XCloseDisplay(m_display);
}

std::optional<MapWatch::Clock::time_point> MapWatch::waitForMap(pid_t pid,
                                                                std::chrono::milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    while (waitForEvent(deadline)) {
        XEvent event;
        XNextEvent(m_display, &event);
        const Clock::time_point seen = Clock::now();
        if (event.type != MapNotify || event.xmap.override_redirect)
            continue; // menus and tool tips are not the window
        if (belongsTo(event.xmap.window, pid))
            return seen;
    }
    return std::nullopt;
}

bool MapWatch::belongsTo(unsigned long window, pid_t pid)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char *data = nullptr;
    const int status = XGetWindowProperty(m_display, window, m_pidAtom, 0, 1, False, XA_CARDINAL,
                                          &type, &format, &count, &remaining, &data);
    bool owned = true;
    if (status == Success && data && format == 32 && count == 1)
        owned = pid_t(*reinterpret_cast<unsigned long *>(data)) == pid;
    if (data)
        XFree(data);
    return owned;
}

bool MapWatch::waitForEvent(Clock::time_point deadline)
{
    while (XPending(m_display) == 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd watched{ConnectionNumber(m_display), POLLIN, 0};
        poll(&watched, 1, int(left.count()));
    }
    return true;
}
