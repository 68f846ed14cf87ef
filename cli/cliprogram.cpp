#include "cli/cliprogram.h"

#include "checkout/checkoutrecord.h"
#include "cli/cliarguments.h"
#include "cli/clicheckout.h"
#include "cli/clicommandrunner.h"
#include "cli/clioutput.h"
#include "cli/openfailuremessage.h"
#include "cli/recordscommand.h"
#include "emulator/linefactory.h"
#include "publish/cfxmessages.h"
#include "publish/publisher.h"
#include "publish/publishsink.h"
#include "records/recordkeeper.h"
#include "records/recordslocation.h"
#include "serial/devicetransaction.h"
#include "serial/exchangetrace.h"
#include "serial/realclock.h"
#include "serial/serialline.h"

#include <QIODevice>
#include <QSysInfo>
#include <QTextStream>

#include <chrono>
#include <memory>
#include <mutex>
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
    const CliParseResult parsed = CliArguments::parse(arguments, environmentPort);
    switch (parsed.outcome) {
    case CliParseResult::Outcome::ShowHelp:
        m_output.write((CliArguments::helpText() + RecordsCommand::helpText()).toUtf8());
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
        const QString devicePath = LineFactory::isEmulatedPortName(arguments.portName)
                                       ? arguments.portName
                                       : OpenFailureMessage::devicePath(arguments.portName);
        printError(OpenFailureMessage().text(line->openFailure(), devicePath, line->errorText()));
        return PortFailed;
    }

    DeviceTransaction transaction(*line, clock);
    TextTrace trace(m_error, clock);
    if (arguments.trace)
        transaction.setTrace(&trace);
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
    // location that cannot be understood sends nothing to any reader.
    QString recordsProblem;
    const std::optional<RecordsLocation> records =
        RecordsLocation::choose(arguments.recordsUrl, arguments.noRecords,
                                qEnvironmentVariable("VORN_RECORDS"), &recordsProblem);
    if (!records) {
        printError(recordsProblem);
        return PortFailed;
    }
    CliCheckout checkout(arguments, m_output, m_error, m_terminal);
    const QString problem = checkout.prepare();
    if (!problem.isEmpty())
        return usageError(problem);

    // The messages for the line's broker: each reader's go to the spool on its own thread as
    // it starts and ends, and out on the publisher's thread. The warnings wait for the end of
    // the run, so that they never tear a progress line.
    std::mutex warningsLock;
    QStringList publishWarnings; // made before the publisher, so that they outlive its thread
    std::unique_ptr<Publisher> publisher;
    std::unique_ptr<PublishSink> publishSink;
    if (arguments.publish) {
        publisher = std::make_unique<Publisher>(*arguments.publish);
        publisher->setWarningHandler([&warningsLock, &publishWarnings](const QString &warning) {
            const std::lock_guard lock(warningsLock);
            publishWarnings.append(warning);
        });
        const QString station =
            arguments.station.isEmpty() ? QSysInfo::machineHostName() : arguments.station;
        publishSink = std::make_unique<PublishSink>(*publisher,
                                                    arguments.cfxHandle.isEmpty()
                                                        ? CfxMessages::defaultHandle(station)
                                                        : arguments.cfxHandle,
                                                    arguments.portNames);
        checkout.addSink(*publishSink);
    }

    const CheckoutRun run = checkout.run();
    checkout.report(run);
    if (!records->isNone()) {
        // Whatever the outcome: a record that cannot be stored now waits in the outbox, with a
        // warning, and never changes the checkout's exit code.
        QTextStream warnings(&m_error);
        RecordKeeper(*records).keep(run.readers, warnings);
    }
    int exitCode = checkout.exitCode(run);
    if (publisher) {
        // What the broker has not taken by then stays in the spool for the next checkout;
        // the connection gives up on a silent broker sooner than this.
        constexpr std::chrono::seconds PublishWait{15};
        const bool delivered = publisher->sendWaiting(PublishWait) == Publisher::Sent::All;
        const std::lock_guard lock(warningsLock);
        for (const QString &warning : std::as_const(publishWarnings))
            printError(warning);
        if (!delivered && publishWarnings.isEmpty())
            printError(QStringLiteral("warning: %1 has not taken every message within %2 s; "
                                      "%3 wait in the spool %4 and go out at the next checkout "
                                      "or with 'vornctl records publish --pending'")
                           .arg(publisher->target().description())
                           .arg(PublishWait.count())
                           .arg(publisher->waitingCount())
                           .arg(publisher->spoolLocation().path));
        if (publisher->lostCount() > 0 && exitCode != CliCheckout::Interrupted)
            exitCode = PublishLost;
    }
    return exitCode;
}

void CliProgram::printError(const QString &message)
{
    m_error.write("vornctl: " + message.toUtf8() + '\n');
}
