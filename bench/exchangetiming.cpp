// vorn-bench-exchanges: the wall time of the window's Get Status, Get Info and Tarvik Status
// buttons in real time, less the waits the protocol mandated for the replies that arrived.
//
//   vorn-bench-exchanges [--runs N] [--emulator PATH-TO-vorn-emulator [--ser2net]]
//
// Without --emulator the window talks to its in-process emulated reader emu-vorn8; with it, to
// vorn-emulator on a pseudo-terminal through the real serial port line, and with --ser2net as
// well, through ser2net (RFC 2217) on loopback in front of it. Prints per command:
//   exchange PATH COMMAND EXCHANGES RUNS FLOOR_MS MIN MEDIAN MAX FAILURES
// with the overhead (wall time less floor) in milliseconds, and for the emulated reader
//   sleep RUNS MS MIN MEDIAN MAX
// the overshoot of the real clock's 50 ms sleep alone.

#include "benchwindow.h"
#include "device/readerprotocol.h"
#include "emulator/bytepacer.h"
#include "emulator/emulatedline.h"
#include "emulator/ptyserver.h"
#include "emulatorprocess.h"
#include "samplesummary.h"
#include "ser2netprocess.h"
#include "serial/devicetransaction.h"
#include "serial/realclock.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLineEdit>
#include <QTest>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

// Between clicks the event loop runs, so the line poll and the repaint of the last result
// happen outside the measured time, as between a technician's clicks.
constexpr int PauseBetweenClicksMs = 20;

struct Command
{
    const char *name;
    const char *button;
    int exchanges; // the window's Get Info also reads the status and the clocks
};

constexpr std::array<Command, 3> Commands{{
    {"status", "pushButton_GetStatus", 1},
    {"info", "pushButton_Version", 5},
    {"tarvik-status", "pushButton_TarvikStatus", 1},
}};

double millisecondsBetween(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

bool failed(const QString &shown)
{
    return shown.contains(QLatin1String("Error")) || shown.contains(QLatin1String("Timeout"));
}

// One click, timed; the error field is cleared first so that an old message cannot hide or
// fake a failure. Returns the overhead in milliseconds, or a negative number on failure.
double timedClick(BenchWindow &window, QAbstractButton *button)
{
    QTest::qWait(PauseBetweenClicksMs);
    window.widget().findChild<QLineEdit *>(QStringLiteral("lineEdit_Version"))->clear();
    window.trace().reset();
    const auto start = std::chrono::steady_clock::now();
    button->click();
    const auto end = std::chrono::steady_clock::now();
    if (failed(window.versionText()))
        return -1.0;
    return millisecondsBetween(start, end) - window.trace().waitedMilliseconds();
}

void measure(BenchWindow &window, const char *path, const Command &command, int runs)
{
    QAbstractButton *button = window.button(command.button);
    timedClick(window, button); // the first run fills caches and lays out the result
    SampleSummary overhead;
    int failures = 0;
    int floorMs = 0;
    for (int run = 0; run < runs; ++run) {
        const double ms = timedClick(window, button);
        if (ms < 0) {
            ++failures;
            continue;
        }
        overhead.add(ms);
        floorMs = std::max(floorMs, window.trace().waitedMilliseconds());
    }
    std::printf("exchange %s %s %d %d %d %.3f %.3f %.3f %d\n", path, command.name,
                command.exchanges, runs, floorMs, overhead.minimum(), overhead.median(),
                overhead.maximum(), failures);
}

// What the protocol mandates for the Tarvik status reply that the emulated reader sends: the
// polled exchange checks at once and then after every 50 ms wait, so the floor is the first
// check at or after the moment the ninth byte is in.
void printTarvikFloor(const char *path, bool requestTravels, int answerDelayMs)
{
    constexpr double ByteMs = double(BytePacer::ByteTicks) / BytePacer::TicksPerMicrosecond / 1000;
    const double requestMs = requestTravels ? ByteMs : 0.0;
    const double completeMs =
        requestMs + answerDelayMs + double(ReaderProtocol::TarvikStatusReply) * ByteMs;
    const int waits = int(std::ceil(completeMs / DeviceTransaction::ReplyWaitMs));
    std::printf("# %s tarvik-status: reply complete %.2f ms after the write (request %.2f + "
                "answer delay %d + 9 x %.3f ms); check %d at %d ms is the first after it\n",
                path, completeMs, requestMs, answerDelayMs, ByteMs, waits + 1,
                waits * DeviceTransaction::ReplyWaitMs);
}

// The same real clock's 50 ms sleep alone: the kernel's share of every exchange's overhead.
void measureSleep(int runs)
{
    RealClock clock;
    SampleSummary overshoot;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        clock.sleep(DeviceTransaction::ReplyWaitMs);
        const auto end = std::chrono::steady_clock::now();
        overshoot.add(millisecondsBetween(start, end) - DeviceTransaction::ReplyWaitMs);
    }
    std::printf("sleep %d %d %.3f %.3f %.3f\n", runs, DeviceTransaction::ReplyWaitMs,
                overshoot.minimum(), overshoot.median(), overshoot.maximum());
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs per command."),
                                        QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption emulatorOption(QStringLiteral("emulator"),
                                            QStringLiteral("vorn-emulator to serve the reader."),
                                            QStringLiteral("PATH"));
    const QCommandLineOption serialServerOption(
        QStringLiteral("ser2net"),
        QStringLiteral("With --emulator: reach the reader through ser2net (RFC 2217)."));
    parser.addOptions({runsOption, emulatorOption, serialServerOption});
    parser.process(application);
    const int runs = std::max(1, parser.value(runsOption).toInt());

    EmulatorProcess emulator;
    QString portName = QStringLiteral("emu-vorn8");
    const bool onPty = parser.isSet(emulatorOption);
    if (onPty) {
        if (!emulator.start(parser.value(emulatorOption))) {
            std::fprintf(stderr, "vorn-bench-exchanges: vorn-emulator did not start\n");
            return 1;
        }
        portName = emulator.terminalPath();
    }
    Ser2netProcess ser2net;
    const bool throughServer = onPty && parser.isSet(serialServerOption);
    if (throughServer) {
        const quint16 port = Ser2netProcess::freePort();
        if (!ser2net.start({{port, QStringLiteral("serialdev,%1,9600n81,local").arg(portName)}})) {
            std::fprintf(stderr, "vorn-bench-exchanges: ser2net did not start\n");
            return 1;
        }
        portName = QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
    }
    BenchWindow window(onPty ? QStringList{portName} : QStringList{});
    if (!window.open(portName)) {
        std::fprintf(stderr, "vorn-bench-exchanges: cannot open %s\n", qPrintable(portName));
        return 1;
    }
    const char *path = throughServer ? "ser2net" : onPty ? "pty" : "emulated";
    printTarvikFloor(path, !onPty,
                     onPty ? PtyServer::DefaultAnswerDelayMs : EmulatedLine::DefaultAnswerDelayMs);
    for (const Command &command : Commands)
        measure(window, path, command, runs);
    if (!onPty)
        measureSleep(runs);
    return 0;
}
