// vorn-bench-station: how quickly the station window's event loop answers while its tiles
// check readers, each tile a vorn-emulator reader on a pseudo-terminal, in real time, with the
// records kept in an SQLite file and the list read again after every checkout, as in use.
//
//   vorn-bench-station --emulator PATH [--readers 8] [--rounds 3]
//
// A precise 10 ms timer stands for the operator's next click: each of its ticks that comes
// late is a moment the window did not answer. The operator answers every question at once.
// Prints "station READERS ROUNDS TICKS P50_MS P95_MS MAX_MS CHECKOUT_MEDIAN_S": the lateness
// of the ticks while checkouts ran, and the median wall time of one checkout.

#include "emulatorprocess.h"
#include "samplesummary.h"

#include "emulator/linefactory.h"
#include "records/recordslocation.h"
#include "serial/realclock.h"
#include "serial/serialline.h"
#include "station/recordspanel.h"
#include "station/sockettile.h"
#include "station/stationwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int TickMs = 10;

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption emulatorOption(QStringLiteral("emulator"),
                                            QStringLiteral("The vorn-emulator program."),
                                            QStringLiteral("PATH"));
    const QCommandLineOption readersOption(QStringLiteral("readers"),
                                           QStringLiteral("Readers checked at once."),
                                           QStringLiteral("N"), QStringLiteral("8"));
    const QCommandLineOption roundsOption(QStringLiteral("rounds"),
                                          QStringLiteral("Times every reader is checked."),
                                          QStringLiteral("N"), QStringLiteral("3"));
    parser.addOptions({emulatorOption, readersOption, roundsOption});
    parser.process(application);
    const int readerCount = std::max(1, parser.value(readersOption).toInt());
    const int rounds = std::max(1, parser.value(roundsOption).toInt());

    std::vector<std::unique_ptr<EmulatorProcess>> readers;
    StationSetup setup;
    for (int i = 0; i < readerCount; ++i) {
        readers.push_back(std::make_unique<EmulatorProcess>());
        if (!readers.back()->start(parser.value(emulatorOption))) {
            std::fprintf(stderr, "vorn-bench-station: vorn-emulator did not start\n");
            return 1;
        }
        setup.ports.append(readers.back()->terminalPath());
    }
    QTemporaryDir folder;
    RecordsLocation records;
    records.kind = RecordsLocation::Kind::Sqlite;
    records.path = folder.filePath(QStringLiteral("records.sqlite"));

    RealClock clock;
    LineFactory lines(clock);
    setup.options.prompt = true;
    setup.station = QStringLiteral("bench");
    setup.clocks = [] { return std::make_unique<RealClock>(); };
    setup.lines = [&lines](const QString &port, WaitClock &lineClock) {
        return lines.create(port, lineClock);
    };
    setup.keep = RecordsPanel::keeper(records);
    StationWindow window(setup);
    window.setRecordsPanel(new RecordsPanel(records, setup.station));
    window.show();

    SampleSummary lateness;
    SampleSummary checkouts;
    QElapsedTimer sinceTick;
    bool running = false;
    int round = 0;
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    ticks.setInterval(TickMs);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        if (running)
            lateness.add(std::max(0.0, double(sinceTick.nsecsElapsed()) / 1e6 - TickMs));
        sinceTick.start();
    });

    QElapsedTimer roundTime;
    const auto startRound = [&] {
        running = true;
        roundTime.start();
        window.checkAll();
    };
    for (SocketTile *tile : window.tiles()) {
        QObject::connect(tile, &SocketTile::questionChanged, tile, [](SocketTile *asking) {
            if (asking->isAsking())
                asking->answer(true); // the operator saw every dot light
        });
        QObject::connect(tile, &SocketTile::checkoutFinished, tile,
                         [&](const ReaderRecord &record, const QString &) {
                             checkouts.add(double(record.durationMs) / 1000.0);
                             const bool allDone =
                                 std::none_of(window.tiles().cbegin(), window.tiles().cend(),
                                              [](SocketTile *t) { return t->isRunning(); });
                             if (!allDone)
                                 return;
                             running = false;
                             if (++round < rounds)
                                 QTimer::singleShot(200, startRound);
                             else
                                 application.quit();
                         });
    }
    sinceTick.start();
    ticks.start();
    QTimer::singleShot(500, startRound); // the window painted and settled
    application.exec();

    std::printf("station %d %d %lld %.2f %.2f %.2f %.3f\n", readerCount, rounds,
                static_cast<long long>(lateness.count()), lateness.percentile(0.5),
                lateness.percentile(0.95), lateness.maximum(), checkouts.median());
    return 0;
}
