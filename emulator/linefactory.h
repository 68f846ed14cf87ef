#pragma once

#include "serial/portscan.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <mutex>

class EmulatedReader;
class SerialLine;
class WaitClock;

// Makes the line for a port name: the emulated readers by their names, a port on a network
// serial server for rfc2217:// and socket:// names, a real serial port for any other name. An
// emulated reader is made on first use and lives as long as the factory, so it keeps its stored
// settings across Close and Open like a device that stays plugged in. Lines made here must not
// outlive the factory.
//
// Several threads may make lines at once, each with its own clock (a checkout runs one thread
// per reader). A reader is made once, under a lock; each reader serves one line at a time.
class LineFactory
{
public:
    explicit LineFactory(WaitClock &clock);
    ~LineFactory();
    LineFactory(const LineFactory &) = delete;
    LineFactory &operator=(const LineFactory &) = delete;

    // The eight-slot reader first, then the four-slot one.
    static QStringList emulatedPortNames();
    // The same, as entries of the port list, with a description a technician can read.
    static QList<PortEntry> emulatedPorts();
    // The device a port name stands for: an emulated reader's or a network port's name as it
    // is, a path as it is,
    // a short name under /dev, as the serial port opens it. ttyUSB0 and /dev/ttyUSB0 are the
    // same reader.
    static QString devicePath(const QString &portName);
    static bool isEmulatedPortName(const QString &portName);

    std::unique_ptr<SerialLine> create(const QString &portName);
    // The same with a clock of the caller's own, for a line used on another thread.
    std::unique_ptr<SerialLine> create(const QString &portName, WaitClock &clock);

    // The reader behind an emulated port name.
    EmulatedReader &emulatedReader(const QString &portName);

private:
    static std::unique_ptr<EmulatedReader> makeReader(const QString &portName);

    WaitClock &m_clock;
    std::mutex m_readersLock;
    std::map<QString, std::unique_ptr<EmulatedReader>> m_readers;
};
