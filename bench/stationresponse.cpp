// vorn-bench-station: how quickly the station window's event loop answers while its tiles
// check readers, each tile a vorn-emulator reader on a pseudo-terminal, in real time, with the
// records kept as in use: every record kept, the list read again after each.
//
//   vorn-bench-station --emulator PATH [--readers 8] [--rounds 3] [--records sqlite|silent]
//
// --records sqlite keeps them in an SQLite file; --records silent names as PostgreSQL server a
// port that accepts connections and never answers, as a server that hangs: the records go to
// an outbox in a temporary folder once the client gives up.
//
// A precise 10 ms timer stands for the operator's next click: each of its ticks that comes
// late is a moment the window did not answer. The operator answers every question at once.
// Prints "station READERS ROUNDS TICKS P50_MS P95_MS MAX_MS CHECKOUT_MEDIAN_S": the lateness
// of the ticks while checkouts ran, and the median wall time of one checkout; and on standard
// error the same lateness beside its targets.

#include "emulatorprocess.h"
#include "samplesummary.h"

#include "emulator/linefactory.h"
#include "outputs/checkoutoutputs.h"
#include "serial/realclock.h"
#include "serial/serialline.h"
#include "station/recordspanel.h"
#include "station/sockettile.h"
#include "station/stationrecords.h"
#include "station/stationwindow.h"
#include "store/recordslocation.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int TickMs = 10;
constexpr double LatenessP95TargetMs = 50;
constexpr double LatenessMaxTargetMs = 100;

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
    const QCommandLineOption recordsOption(
        QStringLiteral("records"),
        QStringLiteral("sqlite: a records file; silent: a server that never answers."),
        QStringLiteral("KIND"), QStringLiteral("sqlite"));
    parser.addOptions({emulatorOption, readersOption, roundsOption, recordsOption});
    parser.process(application);
    const QString recordsKind = parser.value(recordsOption);
    if (recordsKind != QLatin1String("sqlite") && recordsKind != QLatin1String("silent")) {
        std::fprintf(stderr, "vorn-bench-station: --records is sqlite or silent\n");
        return 2;
    }
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
    RecordsLocation outbox;
    outbox.kind = RecordsLocation::Kind::Sqlite;
    outbox.path = folder.filePath(QStringLiteral("outbox.sqlite"));
    // Accepts every connection and holds it, without a byte in answer.
    QTcpServer silentServer;
    std::vector<std::unique_ptr<QTcpSocket>> heldConnections;
    if (recordsKind == QLatin1String("silent")) {
        if (!silentServer.listen(QHostAddress::LocalHost)) {
            std::fprintf(stderr, "vorn-bench-station: no port for the silent server\n");
            return 1;
        }
        QObject::connect(&silentServer, &QTcpServer::newConnection, [&] {
            while (QTcpSocket *connection = silentServer.nextPendingConnection())
                heldConnections.emplace_back(connection);
        });
        records.kind = RecordsLocation::Kind::PostgreSql;
        records.host = QStringLiteral("127.0.0.1");
        records.port = silentServer.serverPort();
        records.database = QStringLiteral("vorn");
    } else {
        records.kind = RecordsLocation::Kind::Sqlite;
        records.path = folder.filePath(QStringLiteral("records.sqlite"));
    }
    CheckoutOutputs::Choices choices;
    choices.program = QStringLiteral("vorn-station");
    choices.station = QStringLiteral("bench");
    choices.ports = setup.ports;
    choices.records = records;
    CheckoutOutputs outputs(choices);
    StationRecords keeping(records, outbox);
    outputs.keepThrough(keeping);

    RealClock clock;
    LineFactory lines(clock);
    setup.options.prompt = true;
    setup.station = QStringLiteral("bench");
    setup.clocks = [] { return std::make_unique<RealClock>(); };
    setup.lines = [&lines](const QString &port, WaitClock &lineClock) {
        return lines.create(port, lineClock);
    };
    setup.outputs = &outputs;
    setup.records = &keeping;
    StationWindow window(setup);
    window.setRecordsPanel(new RecordsPanel(keeping, setup.station));
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
        QObject::connect(
            tile, &SocketTile::checkoutFinished, tile, [&](const ReaderRecord &record) {
                checkouts.add(double(record.durationMs) / 1000.0);
                const bool allDone = std::none_of(window.tiles().cbegin(), window.tiles().cend(),
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
    std::fflush(stdout);
    const auto verdict = [](double value, double target) {
        return value <= target ? "met" : "MISSED";
    };
    std::fprintf(stderr,
                 "vorn-bench-station: %d readers, %d rounds, records %s: event loop lateness "
                 "p95 %.2f ms (target <= %.0f ms, %s), max %.2f ms (target <= %.0f ms, %s), "
                 "median %.2f ms over %lld ticks\n",
                 readerCount, rounds, qPrintable(recordsKind), lateness.percentile(0.95),
                 LatenessP95TargetMs, verdict(lateness.percentile(0.95), LatenessP95TargetMs),
                 lateness.maximum(), LatenessMaxTargetMs,
                 verdict(lateness.maximum(), LatenessMaxTargetMs), lateness.percentile(0.5),
                 static_cast<long long>(lateness.count()));
    return 0;
}
