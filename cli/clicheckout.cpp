#include "cli/clicheckout.h"

#include "checkout/checkoutrunner.h"
#include "checkout/jsonsink.h"
#include "checkout/junitsink.h"
#include "checkout/readercheckout.h"
#include "cli/cliarguments.h"
#include "cli/clioutput.h"
#include "emulator/linefactory.h"
#include "publish/cfxmessages.h"
#include "publish/publisher.h"
#include "publish/publishsink.h"
#include "records/recordsretestgate.h"
#include "records/recordssink.h"
#include "serial/exchangetrace.h"
#include "serial/openfailuremessage.h"
#include "serial/realclock.h"
#include "serial/serialline.h"

#include <QIODevice>
#include <QSysInfo>

#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <thread>

#include <pthread.h>

namespace {

// Ctrl+C stops the checkout rather than the process while the object lives. SIGINT is blocked
// in every thread (the readers' threads inherit the mask) and taken by a watcher thread of its
// own, so that no reader's wait or read is ever cut short by the signal.
class InterruptStopsRunner
{
public:
    explicit InterruptStopsRunner(CheckoutRunner &runner)
    {
        sigset_t interrupt;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, SIGINT);
        pthread_sigmask(SIG_BLOCK, &interrupt, &m_previousMask);
        m_watcher = std::thread([this, &runner, interrupt] {
            constexpr timespec LookForTheEnd{0, 100'000'000};
            while (!m_done.load()) {
                if (sigtimedwait(&interrupt, nullptr, &LookForTheEnd) == SIGINT)
                    runner.requestStop();
            }
        });
    }
    ~InterruptStopsRunner()
    {
        m_done.store(true);
        m_watcher.join();
        pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
    }
    InterruptStopsRunner(const InterruptStopsRunner &) = delete;
    InterruptStopsRunner &operator=(const InterruptStopsRunner &) = delete;

private:
    sigset_t m_previousMask{};
    std::atomic<bool> m_done{false};
    std::thread m_watcher;
};

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

QString openFailureText(const QString &port, const SerialLine &line)
{
    return OpenFailureMessage().text(line.openFailure(), LineFactory::devicePath(port),
                                     line.errorText());
}

} // namespace

CliCheckout::CliCheckout(const CliArguments &arguments, const RecordsLocation &records,
                         QIODevice &output, QIODevice &error, const CliTerminal &terminal)
    : m_arguments(arguments), m_output(output), m_error(error), m_terminal(terminal),
      m_recordsLocation(records)
{
    if (arguments.json)
        m_json = std::make_unique<JsonSink>(output);
    if (!arguments.junitPath.isEmpty())
        m_junit = std::make_unique<JUnitSink>(arguments.junitPath);
    if (!records.isNone())
        m_records = std::make_unique<RecordsSink>(records, error);

    if (arguments.publish) {
        m_publisher = std::make_unique<Publisher>(*arguments.publish);
        m_publisher->setWarningHandler([this](const QString &warning) {
            const std::lock_guard lock(m_publishWarningsLock);
            m_publishWarnings.append(warning);
        });
        const QString station =
            arguments.station.isEmpty() ? QSysInfo::machineHostName() : arguments.station;
        m_publish = std::make_unique<PublishSink>(*m_publisher,
                                                  arguments.cfxHandle.isEmpty()
                                                      ? CfxMessages::defaultHandle(station)
                                                      : arguments.cfxHandle,
                                                  arguments.portNames);
    }
}

CliCheckout::~CliCheckout() = default;

QString CliCheckout::prepare()
{
    return m_junit ? m_junit->prepare() : QString();
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
    runner.setTool(QStringLiteral("vornctl"));
    runner.setStation(m_arguments.station.isEmpty() ? QSysInfo::machineHostName()
                                                    : m_arguments.station);
    runner.setOperator(m_arguments.operatorName);
    runner.setLot(m_arguments.lot);
    runner.setOpenFailureWording(openFailureText);
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
    if (m_arguments.trace) {
        const bool several = m_arguments.portNames.size() > 1;
        runner.setTraceMaker([&terminal, several](int, const QString &port,
                                                  const WaitClock &clock) {
            return std::make_unique<ReaderTrace>(terminal, clock,
                                                 several ? port + QStringLiteral(": ") : QString());
        });
    }
    for (CheckoutSink *sink : std::initializer_list<CheckoutSink *>{
             m_json.get(), m_junit.get(), m_records.get(), m_publish.get()}) {
        if (sink)
            runner.addSink(*sink);
    }

    CheckoutRun run;
    {
        const InterruptStopsRunner interrupt(runner);
        run = runner.run(m_arguments.portNames);
    }
    m_interrupted = runner.stopRequested();
    m_unopenedPorts = runner.unopenedPorts();
    for (const ReaderRecord &record : run.readers) {
        if (m_unopenedPorts.contains(record.port))
            m_error.write("vornctl: " + record.steps.constFirst().message.toUtf8() + '\n');
    }
    if (m_junit && !m_junit->failure().isEmpty())
        m_error.write("vornctl: " + m_junit->failure().toUtf8() + '\n');
    finishPublishing();
    return exitCode(run);
}

void CliCheckout::finishPublishing()
{
    if (!m_publisher)
        return;
    // What the broker has not taken by then stays in the spool for the next checkout; the
    // connection gives up on a silent broker sooner than this.
    constexpr std::chrono::seconds PublishWait{15};
    const bool sent = m_publisher->sendWaiting(PublishWait) == Publisher::Sent::All;
    const std::lock_guard lock(m_publishWarningsLock);
    for (const QString &warning : std::as_const(m_publishWarnings))
        m_error.write("vornctl: " + warning.toUtf8() + '\n');
    if (!sent && m_publishWarnings.isEmpty())
        m_error.write(QStringLiteral("vornctl: warning: %1 has not taken every message within "
                                     "%2 s; %3 wait in the spool %4 and go out at the next "
                                     "checkout or with 'vornctl records publish --pending'\n")
                          .arg(m_publisher->target().description())
                          .arg(PublishWait.count())
                          .arg(m_publisher->waitingCount())
                          .arg(m_publisher->spoolLocation().path)
                          .toUtf8());
}

int CliCheckout::exitCode(const CheckoutRun &run) const
{
    if (m_interrupted)
        return Interrupted;
    if (!m_unopenedPorts.isEmpty() || (m_junit && !m_junit->failure().isEmpty()))
        return PortFailed;
    // A record lost for good says so over a pass or a fail, which a line's script would
    // otherwise take as a checkout on record.
    if ((m_records && m_records->kept().lost > 0) || (m_publisher && m_publisher->lostCount() > 0))
        return RecordLost;
    if (std::any_of(run.readers.cbegin(), run.readers.cend(), [](const ReaderRecord &record) {
            return record.outcome == ReaderOutcome::Refused;
        }))
        return Refused;
    return run.outcome() == ReaderOutcome::Pass ? AllPassed : ReaderFailed;
}
