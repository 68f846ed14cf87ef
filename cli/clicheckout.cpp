#include "cli/clicheckout.h"

#include "checkout/checkoutrunner.h"
#include "checkout/checkouttext.h"
#include "checkout/readercheckout.h"
#include "checkout/readerjournalfolder.h"
#include "cli/cliarguments.h"
#include "cli/clioutput.h"
#include "emulator/linefactory.h"
#include "process/stopsignals.h"
#include "serial/exchangetrace.h"
#include "serial/realclock.h"
#include "serial/serialline.h"
#include "store/recordsretestgate.h"

#include <QIODevice>

#include <algorithm>
#include <chrono>

namespace {

// The trace of one reader among several, each line led by its port, through the terminal so
// that it never tears a progress line.
class ReaderTrace final : public ExchangeTrace
{
public:
    ReaderTrace(CheckoutTerminal &terminal, const WaitClock &clock, QString prefix)
        : m_terminal(terminal), m_clock(clock), m_prefix(std::move(prefix).toUtf8())
    {
    }
    void record(const TraceEvent &event) override
    {
        m_terminal.writeError(m_prefix +
                              TextTrace::formatLine(m_clock.elapsedMilliseconds(), event));
    }

private:
    CheckoutTerminal &m_terminal;
    const WaitClock &m_clock;
    QByteArray m_prefix;
};

CheckoutOutputs::Choices outputsAskedFor(const CliArguments &arguments,
                                         const RecordsLocation &records, QIODevice &output)
{
    CheckoutOutputs::Choices choices;
    choices.program = QStringLiteral("vornctl");
    choices.station = arguments.station;
    choices.ports = arguments.portNames;
    choices.records = records;
    choices.publish = arguments.publish;
    choices.cfxHandle = arguments.cfxHandle;
    choices.json = arguments.json ? &output : nullptr;
    choices.junitPath = arguments.junitPath;
    return choices;
}

} // namespace

CliCheckout::CliCheckout(const CliArguments &arguments, const RecordsLocation &records,
                         QIODevice &output, QIODevice &error, const CliTerminal &terminal)
    : m_arguments(arguments), m_output(output), m_error(error), m_terminal(terminal),
      m_recordsLocation(records), m_outputs(outputsAskedFor(arguments, records, output))
{
    QObject::connect(&m_stopSignals, &StopSignals::stopRequested, [this] {
        const std::lock_guard lock(m_stopLock);
        if (m_running)
            m_running->requestStop();
    });
}

CliCheckout::~CliCheckout() = default;

QString CliCheckout::prepare()
{
    return m_outputs.prepare();
}

int CliCheckout::run()
{
    CheckoutOptions options = m_arguments.checkout;
    options.prompt = m_arguments.prompt.value_or(m_terminal.inputIsTerminal);

    // The emulated readers live in this factory, shared by the readers' threads; each thread
    // makes its line on a real clock of its own.
    RealClock factoryClock;
    LineFactory lines(factoryClock);
    CheckoutRunner *runnerAddress = nullptr;
    CheckoutTerminal terminal(m_output, m_error, m_terminal, m_arguments.portNames,
                              !m_arguments.json,
                              [&runnerAddress] { return runnerAddress->stopRequested(); });
    CheckoutRunner runner(
        [] { return std::make_unique<RealClock>(); },
        [&lines](const QString &port, WaitClock &clock) { return lines.create(port, clock); },
        options, terminal);
    runnerAddress = &runner;
    m_outputs.attach(runner);
    runner.setOperator(m_arguments.operatorName);
    runner.setLot(m_arguments.lot);
    std::unique_ptr<RecordsRetestGate> retestGate;
    if (options.retestLimit && !m_recordsLocation.isNone())
        retestGate = std::make_unique<RecordsRetestGate>(
            m_recordsLocation, [&terminal](const QString &warning) {
                terminal.writeError("vornctl: " + warning.toUtf8() + '\n');
            });
    else if (options.retestLimit)
        m_error.write("vornctl: warning: --no-records keeps no records to count retests in; the "
                      "readers are checked without the retest limit\n");
    runner.setRetestGate(retestGate.get());
    ReaderJournalFolder journal;
    runner.setJournal(&journal, LineFactory::emulatedPortNames());
    if (m_arguments.trace) {
        const bool several = m_arguments.portNames.size() > 1;
        runner.setTraceMaker([&terminal, several](int, const QString &port,
                                                  const WaitClock &clock) {
            return std::make_unique<ReaderTrace>(terminal, clock,
                                                 several ? port + QStringLiteral(": ") : QString());
        });
    }

    {
        const std::lock_guard lock(m_stopLock);
        m_running = &runner;
    }
    // A signal that came while the outputs were made stops the run before it begins.
    if (m_stopSignals.received() != 0)
        runner.requestStop();
    const CheckoutRun run = runner.run(m_arguments.portNames);
    {
        const std::lock_guard lock(m_stopLock);
        m_running = nullptr;
    }
    m_stopSignal = m_stopSignals.received();
    m_unopenedPorts = runner.unopenedPorts();
    for (const ReaderRecord &record : run.readers) {
        if (m_unopenedPorts.contains(record.port))
            m_error.write("vornctl: " + record.steps.constFirst().message.toUtf8() + '\n');
    }
    // Each reader's table has scrolled by: what became of all of them, in one place.
    if (!m_arguments.json && run.readers.size() > 1)
        m_output.write('\n' + CheckoutText::summaryTable(run.readers).toUtf8());
    // What the broker has not taken by then stays in the spool for the next checkout; the
    // connection gives up on a silent broker sooner than this.
    const CheckoutOutputs::Finished finished = m_outputs.finish(std::chrono::seconds(15));
    tell(finished);
    return exitCode(run, finished);
}

void CliCheckout::tell(const CheckoutOutputs::Finished &finished)
{
    if (!finished.junitFailure.isEmpty())
        m_error.write("vornctl: " + finished.junitFailure.toUtf8() + '\n');
    for (const QString &warning : finished.warnings)
        m_error.write(warning.toUtf8() + '\n');
}

int CliCheckout::exitCode(const CheckoutRun &run, const CheckoutOutputs::Finished &finished) const
{
    if (m_stopSignal != 0)
        return StopSignals::exitCode(m_stopSignal);
    if (!m_unopenedPorts.isEmpty() || !finished.junitFailure.isEmpty())
        return PortFailed;
    // A record lost for good says so over a pass or a fail, which a line's script would
    // otherwise take as a checkout on record.
    if (finished.lostAny())
        return RecordLost;
    if (std::any_of(run.readers.cbegin(), run.readers.cend(), [](const ReaderRecord &record) {
            return record.outcome == ReaderOutcome::Refused;
        }))
        return Refused;
    return run.outcome() == ReaderOutcome::Pass ? AllPassed : ReaderFailed;
}
