// vorn-bench-checkout: the wall time of a checkout against the sum of the waits the protocol
// mandates for it, and several readers checked at once against one alone.
//
//   vorn-bench-checkout [--runs N] [--emulator PATH-TO-vorn-emulator [--ser2net]] [--readers N]
//
// Without --emulator it checks emu-vorn8 in this process, in real time, and prints
//   checkout emulated RUNS FLOOR_MS MIN MEDIAN MAX FAILURES
// with the wall time of each checkout in milliseconds (the floor is the largest sum of waits of
// a run). With --emulator it starts N vorn-emulator readers (default 8) on pseudo-terminals and
// checks the first alone, then all of them at once, through the real serial port line:
//   parallel READERS RUNS ONE_MIN ONE_MEDIAN ONE_MAX ALL_MIN ALL_MEDIAN ALL_MAX FAILURES
// With --ser2net as well, it checks all of them at once on their terminals, then all of them at
// once through one ser2net (RFC 2217) on loopback, alternately:
//   network READERS RUNS PTY_MIN PTY_MEDIAN PTY_MAX NET_MIN NET_MEDIAN NET_MAX FAILURES

#include "checkout/checkoutobserver.h"
#include "checkout/checkoutrunner.h"
#include "emulator/linefactory.h"
#include "emulatorprocess.h"
#include "samplesummary.h"
#include "ser2netprocess.h"
#include "serial/exchangetrace.h"
#include "serial/realclock.h"
#include "serial/serialline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>

namespace {

// Nobody at the station: no questions are asked without --prompt.
class Unattended final : public CheckoutObserver
{
public:
    std::optional<bool> ask(int, const QString &, const QString &, const QString &) override
    {
        return false;
    }
};

// Adds up the fixed waits of one reader's exchanges.
class WaitSum final : public ExchangeTrace
{
public:
    explicit WaitSum(std::atomic<qint64> &total) : m_total(total) {}
    void record(const TraceEvent &event) override
    {
        if (event.kind == TraceKind::Wait)
            m_total += event.value;
    }

private:
    std::atomic<qint64> &m_total;
};

double millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// True when every reader passed; says on standard error where one did not.
bool allPassed(const CheckoutRun &run)
{
    for (const ReaderRecord &reader : run.readers) {
        for (const StepRecord &step : reader.steps) {
            if (step.outcome == StepOutcome::Fail || step.outcome == StepOutcome::Error)
                std::fprintf(stderr, "vorn-bench-checkout: %s %s: %s\n", qPrintable(reader.port),
                             qPrintable(step.name), qPrintable(step.message));
        }
    }
    return !run.readers.isEmpty() && run.outcome() == ReaderOutcome::Pass;
}

void measureEmulated(int runs)
{
    RealClock factoryClock;
    LineFactory lines(factoryClock);
    Unattended observer;
    std::atomic<qint64> waited{0};
    CheckoutRunner runner(
        [] { return std::make_unique<RealClock>(); },
        [&lines](const QString &port, WaitClock &clock) { return lines.create(port, clock); },
        CheckoutOptions{}, observer);
    runner.setTraceMaker([&waited](int, const QString &, const WaitClock &) {
        return std::make_unique<WaitSum>(waited);
    });
    const QString port = QStringLiteral("emu-vorn8");
    const CheckoutStop stop;
    runner.checkReader(0, port, stop); // the first run makes the reader and fills caches
    SampleSummary wall;
    qint64 floorMs = 0;
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        waited = 0;
        const auto start = std::chrono::steady_clock::now();
        const ReaderRecord record = runner.checkReader(0, port, stop);
        const double ms = millisecondsSince(start);
        if (record.outcome != ReaderOutcome::Pass) {
            ++failures;
            continue;
        }
        wall.add(ms);
        floorMs = std::max(floorMs, waited.load());
    }
    std::printf("checkout emulated %d %lld %.3f %.3f %.3f %d\n", runs,
                static_cast<long long>(floorMs), wall.minimum(), wall.median(), wall.maximum(),
                failures);
}

// Starts the readers; their terminals, or nothing when one did not start.
QStringList startEmulators(const QString &emulator, std::deque<EmulatorProcess> &emulators)
{
    QStringList ports;
    for (EmulatorProcess &process : emulators) {
        if (!process.start(emulator)) {
            std::fprintf(stderr, "vorn-bench-checkout: vorn-emulator did not start\n");
            return {};
        }
        ports.append(process.terminalPath());
    }
    return ports;
}

// One checkout of the ports at once, its wall time added to the summary; true when all passed.
bool timedRun(CheckoutRunner &runner, const QStringList &ports, SampleSummary &wall)
{
    const auto start = std::chrono::steady_clock::now();
    const bool passed = allPassed(runner.run(ports));
    wall.add(millisecondsSince(start));
    return passed;
}

// Compares the readers checked at once in two ways: reference (the first runs) and other.
struct Comparison
{
    SampleSummary reference;
    SampleSummary other;
    int failures = 0;
};

Comparison compare(const QStringList &reference, const QStringList &other, int runs)
{
    RealClock factoryClock;
    LineFactory lines(factoryClock);
    Unattended observer;
    CheckoutRunner runner(
        [] { return std::make_unique<RealClock>(); },
        [&lines](const QString &port, WaitClock &clock) { return lines.create(port, clock); },
        CheckoutOptions{}, observer);
    runner.run(reference.mid(0, 1)); // warm-up
    Comparison comparison;
    for (int run = 0; run < runs; ++run) {
        comparison.failures += timedRun(runner, reference, comparison.reference) ? 0 : 1;
        comparison.failures += timedRun(runner, other, comparison.other) ? 0 : 1;
    }
    return comparison;
}

void printComparison(const char *kind, int readers, int runs, const Comparison &comparison)
{
    const SampleSummary &one = comparison.reference;
    const SampleSummary &all = comparison.other;
    std::printf("%s %d %d %.3f %.3f %.3f %.3f %.3f %.3f %d\n", kind, readers, runs, one.minimum(),
                one.median(), one.maximum(), all.minimum(), all.median(), all.maximum(),
                comparison.failures);
}

int measureParallel(const QString &emulator, int readers, int runs)
{
    std::deque<EmulatorProcess> emulators(static_cast<std::size_t>(readers));
    const QStringList ports = startEmulators(emulator, emulators);
    if (ports.isEmpty())
        return 1;
    printComparison("parallel", readers, runs, compare(ports.mid(0, 1), ports, runs));
    return 0;
}

// Readers at once on their terminals, and as many others at once through one ser2net (RFC 2217)
// on loopback: never the same terminals, which ser2net holds a moment after each connection.
int measureSerialServer(const QString &emulator, int readers, int runs)
{
    std::deque<EmulatorProcess> emulators(static_cast<std::size_t>(2 * readers));
    const QStringList terminals = startEmulators(emulator, emulators);
    if (terminals.isEmpty())
        return 1;
    const QStringList ports = terminals.mid(0, readers);
    QList<std::pair<quint16, QString>> connections;
    QStringList networkPorts;
    for (const QString &port : terminals.mid(readers)) {
        const quint16 tcpPort = Ser2netProcess::freePort();
        connections.append({tcpPort, QStringLiteral("serialdev,%1,9600n81,local").arg(port)});
        networkPorts.append(QStringLiteral("rfc2217://127.0.0.1:%1").arg(tcpPort));
    }
    Ser2netProcess ser2net;
    if (!ser2net.start(connections)) {
        std::fprintf(stderr, "vorn-bench-checkout: ser2net did not start\n");
        return 1;
    }
    printComparison("network", readers, runs, compare(ports, networkPorts, runs));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs."),
                                        QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption emulatorOption(QStringLiteral("emulator"),
                                            QStringLiteral("vorn-emulator to serve the readers."),
                                            QStringLiteral("PATH"));
    const QCommandLineOption readersOption(QStringLiteral("readers"),
                                           QStringLiteral("Readers checked at once."),
                                           QStringLiteral("N"), QStringLiteral("8"));
    const QCommandLineOption serialServerOption(
        QStringLiteral("ser2net"),
        QStringLiteral("With --emulator: the readers at once on their terminals against the same "
                       "through ser2net."));
    parser.addOptions({runsOption, emulatorOption, readersOption, serialServerOption});
    parser.process(application);
    const int runs = std::max(1, parser.value(runsOption).toInt());
    if (!parser.isSet(emulatorOption)) {
        measureEmulated(runs);
        return 0;
    }
    const int readers = std::max(1, parser.value(readersOption).toInt());
    if (parser.isSet(serialServerOption))
        return measureSerialServer(parser.value(emulatorOption), readers, runs);
    return measureParallel(parser.value(emulatorOption), readers, runs);
}
