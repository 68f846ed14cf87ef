#include "cli/cliprogram.h"

#include "checkout/checkoutrecord.h"
#include "checkout/readerjournalfolder.h"
#include "checkout/settingsrestore.h"
#include "cli/cliarguments.h"
#include "cli/clicheckout.h"
#include "cli/clicommandrunner.h"
#include "cli/clioutput.h"
#include "cli/plancommand.h"
#include "cli/recordscommand.h"
#include "emulator/linefactory.h"
#include "serial/devicetransaction.h"
#include "serial/exchangetrace.h"
#include "serial/openfailuremessage.h"
#include "serial/realclock.h"
#include "serial/serialline.h"
#include "store/recordslocation.h"

#include <QIODevice>

#include <memory>
#include <optional>

CliProgram::CliProgram(QIODevice &standardOutput, QIODevice &standardError)
    : m_output(standardOutput), m_error(standardError)
{
}

int CliProgram::run(const QStringList &arguments, const QString &environmentPort)
{
    if (RecordsCommand::isRecordsCommandLine(arguments))
        return RecordsCommand(m_output, m_error)
            .run(arguments, qEnvironmentVariable("VORN_RECORDS"));
    if (PlanCommand::isPlanCommandLine(arguments))
        return PlanCommand(m_output, m_error).run(arguments);
    const CliParseResult parsed = CliArguments::parse(arguments, environmentPort);
    switch (parsed.outcome) {
    case CliParseResult::Outcome::ShowHelp:
        m_output.write(
            (CliArguments::helpText() + RecordsCommand::helpText() + PlanCommand::helpText())
                .toUtf8());
        return Done;
    case CliParseResult::Outcome::ShowVersion:
        m_output.write("vornctl " VORN_VERSION "\n");
        return Done;
    case CliParseResult::Outcome::UsageError:
        return usageError(parsed.message);
    case CliParseResult::Outcome::Run:
        break;
    }
    if (parsed.arguments.command == CliCommand::Ports)
        return listPorts(parsed.arguments);
    if (parsed.arguments.command == CliCommand::Checkout)
        return runCheckout(parsed.arguments);
    return runOnPort(parsed.arguments);
}

int CliProgram::usageError(const QString &message)
{
    printError(message);
    m_error.write(CliArguments::UsageLine);
    m_error.write("\n");
    m_error.write(CliArguments::CheckoutUsageLine);
    m_error.write("\nRun 'vornctl --help' for the commands.\n");
    return UsageError;
}

int CliProgram::listPorts(const CliArguments &arguments)
{
    m_output.write(
        CliOutput::render(CliCommand::Ports, CliCommandRunner::portList(), arguments.json));
    return Done;
}

int CliProgram::runOnPort(const CliArguments &arguments)
{
    RealClock clock;
    LineFactory lines(clock);
    const std::unique_ptr<SerialLine> line = lines.create(arguments.portName);
    if (!line->open()) {
        printError(OpenFailureMessage().text(
            line->openFailure(), LineFactory::devicePath(arguments.portName), line->errorText()));
        return PortFailed;
    }

    DeviceTransaction transaction(*line, clock);
    TextTrace trace(m_error, clock);
    if (arguments.trace)
        transaction.setTrace(&trace);
    if (arguments.command == CliCommand::Restore) {
        const int code = restoreLeftovers(transaction, arguments.portName);
        line->close();
        return code;
    }
    CliCommandRunner runner(transaction, arguments.trace ? &trace : nullptr);
    const CliResult result = runner.run(arguments);
    line->close();

    if (!result.ok()) {
        m_error.write(deviceErrorText(result.error).toUtf8() + '\n');
        return ReaderFailed;
    }
    m_output.write(CliOutput::render(arguments.command, result.data, arguments.json));
    return Done;
}

int CliProgram::runCheckout(const CliArguments &arguments)
{
    // Where the records go is settled with the other arguments, before any port opens: a
    // location that cannot be understood is a usage error and sends nothing to any reader.
    QString recordsProblem;
    const std::optional<RecordsLocation> records =
        RecordsLocation::choose(arguments.recordsUrl, arguments.noRecords,
                                qEnvironmentVariable("VORN_RECORDS"), &recordsProblem);
    if (!records)
        return usageError(recordsProblem);
    CliCheckout checkout(arguments, *records, m_output, m_error, m_terminal);
    const QString problem = checkout.prepare();
    if (!problem.isEmpty())
        return usageError(problem);
    return checkout.run();
}

int CliProgram::restoreLeftovers(DeviceTransaction &transaction, const QString &port)
{
    ReaderCommands reader(transaction);
    const Identification identification = reader.identify();
    if (!identification.ok()) {
        m_error.write(deviceErrorText(identification.error).toUtf8() + '\n');
        return ReaderFailed;
    }
    const int serial = int(*identification.serialNumber);
    ReaderJournalFolder journal;
    const SettingsRestore::Leftovers leftovers =
        SettingsRestore(reader).putBackLeftovers(journal, port, serial);
    for (const QString &note : leftovers.notes)
        m_output.write(note.toUtf8() + '\n');
    if (leftovers.restored.isEmpty() && !leftovers.failed)
        m_output.write(QStringLiteral("nothing to put back: no unfinished checkout of %1 left SN "
                                      "%2 changed\n")
                           .arg(port, Identification::serialText(quint16(serial)))
                           .toUtf8());
    return leftovers.failed ? ReaderFailed : Done;
}

void CliProgram::printError(const QString &message)
{
    m_error.write("vornctl: " + message.toUtf8() + '\n');
}
