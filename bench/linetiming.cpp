// vorn-bench-line: a production line of stations keeping their checkout records in one
// PostgreSQL database, in real time.
//
//   vorn-bench-line line SERVER_URL [--stations 20] [--readers 8] [--seconds 60]
//                                   [--interval 2000] [--pool POOL_URL]
//       makes a new database "vorn_bench_line" on the server (SERVER_URL names a user who may
//       create databases), starts one station process per station, waits for them, then
//       checks the database and every station's outbox. The stations reach the database
//       through the connection pooler at POOL_URL (its host and port) when given. Prints
//       "line STATIONS READERS SECONDS MADE ROWS DISTINCT MISSING QUEUED LOST LEFT
//        P50_MS P95_MS MAX_MS PEAK_CONNECTIONS TOO_MANY_CLIENTS"
//       and exits 1 when a record was lost, doubled or left waiting.
//   vorn-bench-line station URL OUTBOX RESULTS NAME READERS SECONDS INTERVAL_MS START_MS
//       one station, connected first and started at START_MS (milliseconds since the epoch,
//       one moment for the whole line): READERS threads, each keeping a checkout record every
//       INTERVAL_MS on a
//       schedule of its own, through RecordKeeper, as a station's tiles do; writes a line per
//       record to RESULTS: "MS stored|queued|lost ID", and the warnings it got to RESULTS.log.

#include "samplecheckout.h"
#include "samplesummary.h"

#include "store/recordkeeper.h"
#include "store/recordsoutbox.h"
#include "store/recordsservice.h"
#include "store/recordsstore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

const QString DatabaseName = QStringLiteral("vorn_bench_line");

struct Kept
{
    double ms = 0;
    QString how; // stored, queued, lost
    QString id;
};

// One station: its readers each finish a checkout every interval, from a moment of their own
// within the first interval, and keep its record at once.
int station(const QStringList &arguments)
{
    if (arguments.size() != 10)
        return 2;
    QString error;
    const std::optional<RecordsLocation> location = RecordsLocation::parse(arguments.at(2), &error);
    const std::optional<RecordsLocation> outbox =
        RecordsLocation::parse(QStringLiteral("sqlite:") + arguments.at(3), &error);
    if (!location || !outbox)
        return std::fprintf(stderr, "%s\n", qPrintable(error)), 2;
    const QString results = arguments.at(4);
    const QString name = arguments.at(5);
    const int readers = arguments.at(6).toInt();
    const auto duration = std::chrono::seconds(arguments.at(7).toInt());
    const auto interval = std::chrono::milliseconds(arguments.at(8).toInt());
    const int stationNumber = name.section(QLatin1Char('-'), -1).toInt();

    // The station is up and has its connection before the line starts, all stations at one
    // moment: what is timed is the line at work, not 200 programs starting on two cores.
    QString opening;
    if (!RecordsService::shared(*location).run([](RecordsStore &) { return true; }, &opening))
        std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(opening));
    const auto startsAt = QDateTime::fromMSecsSinceEpoch(arguments.at(9).toLongLong());
    const qint64 wait = QDateTime::currentDateTimeUtc().msecsTo(startsAt);
    if (wait > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));

    QMutex lock;
    QList<Kept> kept;
    QString warnings;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int reader = 0; reader < readers; ++reader) {
        const auto phase = std::chrono::milliseconds(
            QRandomGenerator::global()->bounded(qint64(interval.count())));
        threads.emplace_back([&, reader, phase] {
            QList<Kept> mine;
            QString myWarnings;
            QTextStream warningStream(&myWarnings);
            int round = 0;
            for (auto due = start + phase; due < start + duration; due += interval) {
                std::this_thread::sleep_until(due);
                // Each checkout a reader of its own, as on a production line: serial numbers
                // unique across 2,048 sockets of the line for 32 rounds.
                const int n = (stationNumber * readers + reader) % 2048 + 2048 * (round++ % 32);
                const ReaderRecord record = sampleCheckout(n, name);
                QElapsedTimer timer;
                timer.start();
                const RecordKeeper::Kept result =
                    RecordKeeper(*location, *outbox).keep({record}, warningStream);
                const double ms = double(timer.nsecsElapsed()) / 1e6;
                mine.append({ms,
                             result.stored == 1   ? QStringLiteral("stored")
                             : result.queued == 1 ? QStringLiteral("queued")
                                                  : QStringLiteral("lost"),
                             record.id});
            }
            warningStream.flush();
            const QMutexLocker locked(&lock);
            kept += mine;
            warnings += myWarnings;
        });
    }
    for (std::thread &thread : threads)
        thread.join();

    QFile file(results);
    QFile log(results + QStringLiteral(".log"));
    if (!file.open(QIODevice::WriteOnly) || !log.open(QIODevice::WriteOnly))
        return 1;
    QTextStream out(&file);
    for (const Kept &each : kept)
        out << QString::number(each.ms, 'f', 3) << ' ' << each.how << ' ' << each.id << '\n';
    log.write(warnings.toUtf8());
    return 0;
}

// A connection of the benchmark's own, beside the stations'.
class Admin
{
public:
    Admin(const RecordsLocation &server, const QString &database, const QString &name)
        : m_name(name)
    {
        m_database = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        m_database.setHostName(server.host);
        m_database.setPort(server.port);
        m_database.setUserName(server.user);
        m_database.setDatabaseName(database);
        if (!m_database.open())
            std::fprintf(stderr, "%s\n", qPrintable(m_database.lastError().text()));
    }
    ~Admin()
    {
        m_database.close();
        m_database = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    Admin(const Admin &) = delete;
    Admin &operator=(const Admin &) = delete;

    bool run(const QString &statement)
    {
        QSqlQuery query(m_database);
        if (query.exec(statement))
            return true;
        std::fprintf(stderr, "%s\n", qPrintable(query.lastError().text()));
        return false;
    }
    qint64 number(const QString &statement)
    {
        QSqlQuery query(m_database);
        return query.exec(statement) && query.next() ? query.value(0).toLongLong() : -1;
    }
    QSet<QString> texts(const QString &statement)
    {
        QSet<QString> texts;
        QSqlQuery query(m_database);
        query.exec(statement);
        while (query.next())
            texts.insert(query.value(0).toString());
        return texts;
    }

private:
    QString m_name;
    QSqlDatabase m_database;
};

int line(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption stationsOption(QStringLiteral("stations"), QString(),
                                            QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption readersOption(QStringLiteral("readers"), QString(),
                                           QStringLiteral("N"), QStringLiteral("8"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QString(),
                                           QStringLiteral("S"), QStringLiteral("60"));
    const QCommandLineOption intervalOption(QStringLiteral("interval"), QString(),
                                            QStringLiteral("MS"), QStringLiteral("2000"));
    const QCommandLineOption poolOption(QStringLiteral("pool"), QString(), QStringLiteral("URL"));
    parser.addOptions({stationsOption, readersOption, secondsOption, intervalOption, poolOption});
    if (!parser.parse(arguments) || parser.positionalArguments().size() != 2)
        return std::fprintf(stderr, "%s\n", qPrintable(parser.errorText())), 2;
    QString error;
    const std::optional<RecordsLocation> server =
        RecordsLocation::parse(parser.positionalArguments().at(1), &error);
    if (!server || server->kind != RecordsLocation::Kind::PostgreSql)
        return std::fprintf(stderr, "a PostgreSQL server URL, please %s\n", qPrintable(error)), 2;
    const int stations = parser.value(stationsOption).toInt();
    const int readers = parser.value(readersOption).toInt();
    const int seconds = parser.value(secondsOption).toInt();

    // The line's database, its tables made as the first checkout of the line made them. A
    // pooler's connections to an earlier run's database are ended with it.
    {
        Admin admin(*server, server->database, QStringLiteral("setup"));
        if (!admin.run(
                QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(DatabaseName)) ||
            !admin.run(QStringLiteral("CREATE DATABASE %1").arg(DatabaseName)))
            return 1;
    }
    RecordsLocation location = *server;
    location.database = DatabaseName;
    {
        RecordsStore store(location);
        if (!store.open())
            return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
    }

    // The stations' way in: the pooler's address, the same database and user.
    RecordsLocation stationsLocation = location;
    if (parser.isSet(poolOption)) {
        const std::optional<RecordsLocation> pool =
            RecordsLocation::parse(parser.value(poolOption), &error);
        if (!pool)
            return std::fprintf(stderr, "%s\n", qPrintable(error)), 2;
        stationsLocation.host = pool->host;
        stationsLocation.port = pool->port;
    }

    // The connections the stations hold at once, seen by the server while they run, on a
    // connection taken before theirs (a full server would refuse it later).
    Admin watch(*server, server->database, QStringLiteral("watch"));
    // Time for every station to start and connect first (about 20 ms of a core each).
    const qint64 startsAt = QDateTime::currentMSecsSinceEpoch() + std::max(2000, stations * 40);
    QTemporaryDir folder;
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int n = 0; n < stations; ++n) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->setProcessChannelMode(QProcess::ForwardedChannels);
        processes.back()->start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("station"), stationsLocation.url(),
             folder.filePath(QStringLiteral("outbox-%1.sqlite").arg(n)),
             folder.filePath(QStringLiteral("results-%1").arg(n)),
             QStringLiteral("line-1-station-%1").arg(n, 2, 10, QLatin1Char('0')),
             QString::number(readers), QString::number(seconds), parser.value(intervalOption),
             QString::number(startsAt)});
    }
    qint64 peak = 0;
    {
        const QString connections =
            QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = '%1'")
                .arg(DatabaseName);
        const auto anyRunning = [&processes] {
            for (const auto &process : processes) {
                if (process->state() != QProcess::NotRunning && !process->waitForFinished(0))
                    return true;
            }
            return false;
        };
        while (anyRunning()) {
            peak = std::max(peak, watch.number(connections));
            QThread::msleep(20);
        }
    }
    int failedStations = 0;
    for (const auto &process : processes)
        failedStations += process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0;

    SampleSummary latency;
    QSet<QString> made;
    int queued = 0;
    int lost = 0;
    int tooManyClients = 0;
    for (int n = 0; n < stations; ++n) {
        QFile results(folder.filePath(QStringLiteral("results-%1").arg(n)));
        if (!results.open(QIODevice::ReadOnly))
            continue;
        while (!results.atEnd()) {
            const QList<QByteArray> fields = results.readLine().trimmed().split(' ');
            if (fields.size() != 3)
                continue;
            latency.add(fields.at(0).toDouble());
            queued += fields.at(1) == "queued";
            lost += fields.at(1) == "lost";
            made.insert(QString::fromLatin1(fields.at(2)));
        }
        QFile log(results.fileName() + QStringLiteral(".log"));
        if (log.open(QIODevice::ReadOnly))
            tooManyClients += int(log.readAll().count("is full"));
    }

    // Every record made is in the database once, and no outbox holds one.
    qint64 rows = 0;
    qint64 distinct = 0;
    qint64 missing = 0;
    {
        Admin check(*server, DatabaseName, QStringLiteral("check"));
        rows = check.number(QStringLiteral("SELECT count(*) FROM checkouts"));
        distinct = check.number(QStringLiteral("SELECT count(DISTINCT id) FROM checkouts"));
        const QSet<QString> stored = check.texts(QStringLiteral("SELECT id FROM checkouts"));
        for (const QString &id : made)
            missing += !stored.contains(id);
    }
    qint64 left = 0;
    for (int n = 0; n < stations; ++n) {
        RecordsOutbox outbox(*RecordsLocation::parse(
            QStringLiteral("sqlite:") + folder.filePath(QStringLiteral("outbox-%1.sqlite").arg(n)),
            &error));
        if (!outbox.open(RecordsDatabase::OpenMode::ExistingOnly))
            continue;
        if (const auto counts = outbox.counts()) {
            for (const int count : *counts)
                left += count;
        }
    }

    std::printf("line %d %d %d %lld %lld %lld %lld %d %d %lld %.2f %.2f %.2f %lld %d\n", stations,
                readers, seconds, qint64(made.size()), rows, distinct, missing, queued, lost, left,
                latency.median(), latency.percentile(0.95), latency.maximum(), peak,
                tooManyClients);
    const bool whole = failedStations == 0 && rows == made.size() && distinct == rows &&
                       missing == 0 && lost == 0 && left == 0;
    return whole ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1 && arguments.at(1) == QLatin1String("station"))
        return station(arguments);
    if (arguments.size() > 1 && arguments.at(1) == QLatin1String("line"))
        return line(arguments);
    std::fprintf(stderr, "usage: vorn-bench-line line SERVER_URL [--stations N] [--readers N] "
                         "[--seconds S] [--interval MS]\n");
    return 2;
}
