// vorn-bench-checkout: the wall time of a checkout against the sum of the waits the protocol
// mandates for it, and several readers checked at once against one alone.
//
//   vorn-bench-checkout [--runs N] [--emulator PATH-TO-vorn-emulator] [--readers N]
//
// Without --emulator it checks emu-vorn8 in this process, in real time, and prints
//   checkout emulated RUNS FLOOR_MS MIN MEDIAN MAX FAILURES
// with the wall time of each checkout in milliseconds (the floor is the largest sum of waits of
// a run). With --emulator it starts N vorn-emulator readers (default 8) on pseudo-terminals and
// checks the first alone, then all of them at once, through the real serial port line:
//   parallel READERS RUNS ONE_MIN ONE_MEDIAN ONE_MAX ALL_MIN ALL_MEDIAN ALL_MAX FAILURES

#include "checkout/checkoutobserver.h"
#include "checkout/checkoutrunner.h"
#include "emulator/linefactory.h"
#include "emulatorprocess.h"
#include "samplesummary.h"
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

bool allPassed(const CheckoutRun &run)
{
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

int measureParallel(const QString &emulator, int readers, int runs)
{
    std::deque<EmulatorProcess> emulators(static_cast<std::size_t>(readers));
    QStringList ports;
    for (EmulatorProcess &process : emulators) {
        if (!process.start(emulator)) {
            std::fprintf(stderr, "vorn-bench-checkout: vorn-emulator did not start\n");
            return 1;
        }
        ports.append(process.terminalPath());
    }
    RealClock factoryClock;
    LineFactory lines(factoryClock);
    Unattended observer;
    CheckoutRunner runner(
        [] { return std::make_unique<RealClock>(); },
        [&lines](const QString &port, WaitClock &clock) { return lines.create(port, clock); },
        CheckoutOptions{}, observer);
    runner.run(ports.mid(0, 1)); // warm-up
    SampleSummary one;
    SampleSummary all;
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        auto start = std::chrono::steady_clock::now();
        const bool alonePassed = allPassed(runner.run(ports.mid(0, 1)));
        one.add(millisecondsSince(start));
        start = std::chrono::steady_clock::now();
        const bool allOfThemPassed = allPassed(runner.run(ports));
        all.add(millisecondsSince(start));
        failures += (alonePassed ? 0 : 1) + (allOfThemPassed ? 0 : 1);
    }
    std::printf("parallel %d %d %.3f %.3f %.3f %.3f %.3f %.3f %d\n", readers, runs, one.minimum(),
                one.median(), one.maximum(), all.minimum(), all.median(), all.maximum(), failures);
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
    parser.addOptions({runsOption, emulatorOption, readersOption});
    parser.process(application);
    const int runs = std::max(1, parser.value(runsOption).toInt());
    if (!parser.isSet(emulatorOption)) {
        measureEmulated(runs);
        return 0;
    }
    return measureParallel(parser.value(emulatorOption),
                           std::max(1, parser.value(readersOption).toInt()), runs);
}
