#pragma once

#include "device/deviceresult.h"
#include "device/readercommands.h"
#include "display/displaycommands.h"

#include <QJsonObject>

struct CliArguments;
class DeviceTransaction;
class ExchangeTrace;

// What one command brought back: the reader's error, if any, and the facts to print, under
// the keys of the JSON output.
struct CliResult
{
    DeviceError error = DeviceError::None;
    QJsonObject data;

    bool ok() const { return error == DeviceError::None; }
};

// Runs one command on an open line, through the reader's and the display's commands, so that
// vornctl sends exactly what the window sends.
class CliCommandRunner
{
public:
    explicit CliCommandRunner(DeviceTransaction &transaction, ExchangeTrace *trace = nullptr);

    CliResult run(const CliArguments &arguments);

    // The port list needs no line: the enumerated ports, then the emulated readers.
    static QJsonObject portList();

private:
    CliResult info();
    CliResult status();
    CliResult clocks();
    CliResult time();
    CliResult echo(quint8 character);
    CliResult tarvikStatus();
    CliResult tarvikSelectSlot(quint8 slotNumber);
    CliResult lines();
    CliResult setDataTerminalReady(bool asserted);

    DeviceTransaction &m_transaction;
    ExchangeTrace *m_trace;
    ReaderCommands m_reader;
    DisplayCommands m_display;
};
