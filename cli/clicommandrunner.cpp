#include "cli/clicommandrunner.h"

#include "cli/cliarguments.h"
#include "device/timesetting.h"
#include "emulator/linefactory.h"
#include "serial/devicetransaction.h"
#include "serial/exchangetrace.h"
#include "serial/portscan.h"
#include "serial/serialline.h"

#include <QJsonArray>

namespace {

QJsonArray slotNumbers(quint8 occupancy)
{
    QJsonArray numbers;
    for (const int number : SlotStatus::occupiedSlotNumbers(occupancy))
        numbers.append(number);
    return numbers;
}

QJsonObject portObject(const PortEntry &entry)
{
    return {{QStringLiteral("name"), entry.name},
            {QStringLiteral("description"), entry.description},
            {QStringLiteral("manufacturer"), entry.manufacturer},
            {QStringLiteral("serial_number"), entry.serialNumber}};
}

} // namespace

CliCommandRunner::CliCommandRunner(DeviceTransaction &transaction, ExchangeTrace *trace)
    : m_transaction(transaction), m_trace(trace), m_reader(transaction), m_display(transaction)
{
}

CliResult CliCommandRunner::run(const CliArguments &arguments)
{
    switch (arguments.command) {
    case CliCommand::Ports:
        return {DeviceError::None, portList()};
    case CliCommand::Info:
        return info();
    case CliCommand::Status:
        return status();
    case CliCommand::SelectSlot:
        m_reader.selectSlot(quint8(arguments.slotNumber - 1));
        return {};
    case CliCommand::Clocks:
        return clocks();
    case CliCommand::SetClocks:
        m_reader.writeClocks(arguments.clocks);
        return {};
    case CliCommand::StoreClocks:
        m_reader.storeClocks(arguments.clocks);
        return {};
    case CliCommand::Time:
        return time();
    case CliCommand::SetTime:
        m_reader.storeTimeCounts(arguments.timeCounts);
        return {};
    case CliCommand::Echo:
        return echo(arguments.character);
    case CliCommand::Char:
        m_display.showCharacter(arguments.character);
        return {};
    case CliCommand::Text:
        m_display.showText(arguments.text);
        return {};
    case CliCommand::DisplayTest:
        m_display.runDisplayTest();
        return {};
    case CliCommand::TarvikStatus:
        return tarvikStatus();
    case CliCommand::TarvikSelectSlot:
        return tarvikSelectSlot(arguments.slotNumber);
    case CliCommand::Lines:
        return lines();
    case CliCommand::Dtr:
        return setDataTerminalReady(arguments.lineAsserted);
    case CliCommand::Rts:
        m_transaction.line().setRequestToSend(arguments.lineAsserted);
        return {};
    case CliCommand::Checkout: // runs on every port at once, not on one open line
    case CliCommand::Restore:  // has exit codes of its own
        return {};
    }
    return {};
}

QJsonObject CliCommandRunner::portList()
{
    QJsonArray ports;
    for (const PortEntry &entry : PortScan::enumerated() + LineFactory::emulatedPorts())
        ports.append(portObject(entry));
    return {{QStringLiteral("ports"), ports}};
}

CliResult CliCommandRunner::info()
{
    const Identification identification = m_reader.identify();
    if (!identification.ok())
        return {identification.error, {}};
    return {DeviceError::None,
            {{QStringLiteral("version"), int(*identification.version)},
             {QStringLiteral("model"), int(*identification.modelType)},
             {QStringLiteral("serial"), int(*identification.serialNumber)},
             {QStringLiteral("text"), identification.text()}}};
}

CliResult CliCommandRunner::status()
{
    const DeviceResult<SlotStatus> status = m_reader.readStatus();
    if (!status.ok())
        return {status.error, {}};
    return {DeviceError::None,
            {{QStringLiteral("cards"), slotNumbers(status.value.occupancy)},
             {QStringLiteral("selected"), status.value.selectedSlot + 1}}};
}

CliResult CliCommandRunner::clocks()
{
    const DeviceResult<ClockSelection> clocks = m_reader.readClocks();
    if (!clocks.ok())
        return {clocks.error, {}};
    QJsonArray frequencies;
    for (const quint8 code : clocks.value.codes())
        frequencies.append(ClockSelection::frequencyText(code));
    return {DeviceError::None, {{QStringLiteral("clocks"), frequencies}}};
}

CliResult CliCommandRunner::time()
{
    const DeviceResult<quint16> counts = m_reader.readTimeCounts();
    if (!counts.ok())
        return {counts.error, {}};
    return {DeviceError::None,
            {{QStringLiteral("seconds"), qint64(TimeSetting::secondsFromCounts(counts.value))},
             {QStringLiteral("counts"), int(counts.value)}}};
}

CliResult CliCommandRunner::echo(quint8 character)
{
    const EchoResult echo = m_reader.echo(character);
    return {echo.error,
            {{QStringLiteral("sent"), QString(QChar(character))},
             {QStringLiteral("echoed"), QString(QChar(echo.echoed))}}};
}

CliResult CliCommandRunner::tarvikStatus()
{
    const DeviceResult<quint8> occupancy = m_reader.tarvikStatus();
    if (!occupancy.ok())
        return {occupancy.error, {}};
    return {DeviceError::None, {{QStringLiteral("cards"), slotNumbers(occupancy.value)}}};
}

CliResult CliCommandRunner::tarvikSelectSlot(quint8 slotNumber)
{
    return {m_reader.tarvikSelectSlot(slotNumber), {}};
}

CliResult CliCommandRunner::lines()
{
    // The reader holds a line inactive to signal, so the window checks its box while the line
    // is inactive; vornctl reports the same.
    const ModemLines lines = m_transaction.line().modemLines();
    return {DeviceError::None,
            {{QStringLiteral("cards_changed"), !lines.clearToSend},
             {QStringLiteral("cards_in"), !lines.dataCarrierDetect}}};
}

CliResult CliCommandRunner::setDataTerminalReady(bool asserted)
{
    m_transaction.line().setDataTerminalReady(asserted);
    // The exchanges trace their own DTR changes; a change by hand is shown the same way.
    if (m_trace)
        m_trace->record(TraceEvent{TraceKind::Dtr, {}, asserted ? 1 : 0, "dtr"});
    return {};
}
