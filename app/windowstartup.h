#pragma once

#include "serial/realclock.h"

#include <QFile>

#include <memory>

class TextTrace;
class Widget;

// What the program does once the application object exists and has taken Qt's own options
// out of the arguments: reads the window's options from the rest, gives the application its
// icon and font, and shows the window. Kept apart from main so the tests start the window
// exactly as the program does.
class WindowStartup
{
public:
    WindowStartup();
    ~WindowStartup();
    WindowStartup(const WindowStartup &) = delete;
    WindowStartup &operator=(const WindowStartup &) = delete;

    // False when the program should end at once (help, version, a usage error or a trace file
    // that cannot be written); exitCode then says how.
    bool start(int &exitCode);

    Widget *window() const { return m_window.get(); }

private:
    // In this order, so that the window goes before the trace it writes to.
    RealClock m_clock;
    QFile m_traceFile;
    std::unique_ptr<TextTrace> m_trace;
    std::unique_ptr<Widget> m_window;
};
