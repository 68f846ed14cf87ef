#pragma once

#include "app/widget.h"
#include "mandatedwaittrace.h"
#include "serial/realclock.h"

#include <QAbstractButton>

#include <memory>

// The real window in real time, shown, with a trace that adds up the protocol's waits; the
// benchmarks click its buttons by object name as a technician would.
class BenchWindow
{
public:
    explicit BenchWindow(const QStringList &extraPorts = {});

    // Scans, picks the port by name and opens it; true when the port is open and polled.
    bool open(const QString &portName);
    QAbstractButton *button(const char *name) const;
    // The text field where a command's error appears.
    QString versionText() const;

    Widget &widget() { return *m_window; }
    MandatedWaitTrace &trace() { return m_trace; }

private:
    RealClock m_clock;
    MandatedWaitTrace m_trace;
    std::unique_ptr<Widget> m_window;
};
