// vorn-bench-records: the records store's own times on an SQLite file or a PostgreSQL server.
//
//   vorn-bench-records store FILE COUNT
//       stores COUNT checkout records one by one, each durable, into a new file; prints the
//       milliseconds of each store
//   vorn-bench-records populate FILE COUNT
//       makes FILE a records file of COUNT checkouts (kept when it already is one): the schema
//       as vornctl makes it, the rows generated in one statement
//   vorn-bench-records list FILE COUNT
//       times COUNT queries "the checkouts of serial N, newest first" for different N; prints
//       the milliseconds of each
//   vorn-bench-records populate-line URL
//       makes the records database at URL (sqlite:PATH or postgresql://...) hold a line's month:
//       1,000,000 checkouts of 200,000 readers over the 30 days of November 2026 at 4
//       stations, generated in one statement, with the yield summaries made from them (kept
//       when it already holds them)
//   vorn-bench-records rebuild URL
//       empties the yield summaries of the records database at URL and fills them again from
//       every checkout, as a migration does; prints the seconds it took
//   vorn-bench-records store-into URL COUNT
//       stores COUNT checkout records of that line's readers one by one into the database at
//       URL, each with its summaries; prints the milliseconds of each
//   vorn-bench-records retest-check URL COUNT
//       asks the retest limit's question (a limit of 3) COUNT times for readers of that line,
//       as a checkout does right after the identification, the process's connection opened
//       while the reader identified; prints the milliseconds of each answer
//   vorn-bench-records chain FILE
//       gives the checkouts of a file made by populate their places in their stations' chains,
//       as the store would have (kept when they have them)
//   vorn-bench-records verify FILE COUNT
//       walks every chain of FILE COUNT times, as `vornctl records verify` does; prints the
//       milliseconds of each walk
//   vorn-bench-records chain-link URL COUNT
//       the chain's part of storing a record: finding the station's head and hashing the
//       record, COUNT times in transactions of their own; prints the milliseconds of each
//   vorn-bench-records commit-floor URL COUNT
//       commits COUNT transactions of one small row each on the store's connection: the
//       disk's flush, under every durable store; prints the milliseconds of each

#include "samplecheckout.h"

#include "store/chainverifier.h"
#include "store/recordchain.h"
#include "store/recordsretestgate.h"
#include "store/recordsstore.h"
#include "store/yieldsummaries.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>

namespace {

ReaderRecord checkout(int n)
{
    return sampleCheckout(n, QStringLiteral("line-2-station-%1").arg(n % 4));
}

RecordsLocation fileAt(const QString &path)
{
    QString error;
    return *RecordsLocation::parse(QStringLiteral("sqlite:") + path, &error);
}

int store(const QString &path, int count)
{
    QFile::remove(path);
    RecordsStore store(fileAt(path));
    if (!store.open())
        return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
    QElapsedTimer timer;
    for (int n = 0; n < count; ++n) {
        const ReaderRecord record = checkout(n);
        timer.start();
        if (store.store(record) != RecordsStore::Stored::Added)
            return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
        std::printf("%.3f\n", double(timer.nsecsElapsed()) / 1e6);
    }
    return 0;
}

qint64 rowCount(QSqlDatabase &database)
{
    QSqlQuery query(database);
    return query.exec(QStringLiteral("SELECT count(*) FROM checkouts")) && query.next()
               ? query.value(0).toLongLong()
               : -1;
}

int populate(const QString &path, int count)
{
    {
        RecordsStore store(fileAt(path));
        if (!store.open())
            return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
    }
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    database.setDatabaseName(path);
    if (!database.open())
        return 1;
    if (rowCount(database) == count)
        return 0;
    // Written once, not durably, and indexed after the rows are in: a sort instead of a
    // million scattered index inserts. The file is left in the store's own mode.
    QSqlQuery query(database);
    QStringList indexes;
    query.exec(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND "
                              "tbl_name = 'checkouts' AND sql IS NOT NULL"));
    QStringList names;
    while (query.next()) {
        names.append(query.value(0).toString());
        indexes.append(query.value(1).toString());
    }
    query.exec(QStringLiteral("PRAGMA journal_mode=OFF"));
    query.exec(QStringLiteral("PRAGMA synchronous=OFF"));
    query.exec(QStringLiteral("DELETE FROM checkouts"));
    for (const QString &name : names)
        query.exec(QStringLiteral("DROP INDEX %1").arg(name));
    // Ids scattered as random ids are, one checkout a minute, 65536 serial numbers, one
    // checkout in twenty failed.
    query.prepare(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < ? - 1) "
        "INSERT INTO checkouts (id, started, station, port, model, serial, outcome, failed_steps, "
        "duration_ms, record) SELECT "
        "printf('%08x-%04x-4%03x-8%03x-%012x', (i * 2654435761) % 4294967296, i % 65536, "
        "i % 4096, (i / 7) % 4096, i), "
        "strftime('%Y-%m-%dT%H:%M:%fZ', 1767225600 + i * 60, 'unixepoch'), "
        "'line-2-station-' || (i % 4), 'ttyUSB' || (i % 8), "
        "CASE WHEN i % 3 = 0 THEN 'Vorn4' ELSE 'Vorn8' END, (i * 7919) % 65536, "
        "CASE WHEN i % 20 = 0 THEN 'fail' ELSE 'pass' END, "
        "CASE WHEN i % 20 = 0 THEN 'clocks' ELSE '' END, 4210, ? FROM n"));
    query.addBindValue(count);
    query.addBindValue(
        QString::fromUtf8(QJsonDocument(checkout(0).toJson()).toJson(QJsonDocument::Compact)));
    if (!query.exec())
        return std::fprintf(stderr, "%s\n", qPrintable(query.lastError().text())), 1;
    for (const QString &index : indexes)
        query.exec(index);
    query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    return rowCount(database) == count ? 0 : 1;
}

// The line's month: reader r (0-199,999) comes every 12.9 s from 2026-11-01T00:00Z and is
// checked five times, 20 minutes apart, each time at the next station. Its first checkout fails
// between one time in eight and one time in sixteen, as the day goes; a retest one time in
// twenty-two; the failures are the clocks' four times in ten, the echo's three, select-slot's
// two and tarvik's one. One checkout in 200 never identifies its reader and three in 1000 are
// aborted. A third of the readers are Vorn4s, a fifth have firmware 4; lots of 7,000 readers;
// an operator per station and eight-hour shift.
constexpr int LineReaders = 200'000;
constexpr int LineCheckouts = LineReaders * 5;
constexpr qint64 LineStart = 1'793'491'200; // 2026-11-01T00:00:00Z
const QString LineEnd = QStringLiteral("2026-12-01");

QString lineStatement(bool sqlite)
{
    const QString series =
        sqlite ? QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
                                "WHERE i < %1 - 1)")
                     .arg(LineCheckouts)
               : QStringLiteral("WITH n(i) AS (SELECT generate_series(CAST(0 AS BIGINT), %1 - 1))")
                     .arg(LineCheckouts);
    // The facts of checkout i, from which its columns are made: reader, retest, a hash, the
    // time in seconds and the station.
    const QString facts =
        QStringLiteral(
            "SELECT i, i / 5 AS r, i % 5 AS k, (i * 2654435761) % 1000 AS h, "
            "%1 + (i / 5) * 12936 / 1000 + (i % 5) * 1200 AS t, (i / 5 + i % 5) % 4 AS s FROM n")
            .arg(LineStart);
    const QString id = sqlite
                           ? QStringLiteral("printf('%08x-%d', (i * 2654435761) % 4294967296, i)")
                           : QStringLiteral("to_hex((i * 2654435761) % 4294967296) || '-' || i");
    const QString started =
        sqlite ? QStringLiteral("strftime('%Y-%m-%dT%H:%M:%S.000Z', t, 'unixepoch')")
               : QStringLiteral("to_char(to_timestamp(t) AT TIME ZONE 'UTC', "
                                "'YYYY-MM-DD\"T\"HH24:MI:SS\".000Z\"')");
    const QString outcome =
        QStringLiteral("CASE WHEN h < 5 THEN 'error' WHEN h < 8 THEN 'aborted' "
                       "WHEN (k = 0 AND h < 62 + (t - %1) / 86400 * 37 % 67) OR h < 46 THEN 'fail' "
                       "ELSE 'pass' END")
            .arg(LineStart);
    const QString columns = QStringLiteral(
        "'line-2-station-' || s, 'ttyUSB' || s, "
        "CASE WHEN h < 5 THEN '' WHEN r % 3 = 0 THEN 'Vorn4' ELSE 'Vorn8' END, "
        "CASE WHEN h < 5 THEN NULL ELSE r END, outcome, "
        "CASE outcome WHEN 'error' THEN 'identify' WHEN 'fail' THEN (CASE WHEN (i * 7919) % 10 < 4 "
        "THEN 'clocks' WHEN (i * 7919) % 10 < 7 THEN 'echo' WHEN (i * 7919) % 10 < 9 "
        "THEN 'select-slot' ELSE 'tarvik' END) ELSE '' END, "
        "CASE outcome WHEN 'pass' THEN 2150 + (i * 31) % 60 WHEN 'fail' THEN 1800 + "
        "(i * 31) % 400 WHEN 'aborted' THEN 900 ELSE 150 END, ?, 'vornctl', '1.0.0', "
        "'op-' || s || '-' || (t % 86400) / 28800, 'lot-' || (r / 7000), "
        "CASE WHEN h < 5 THEN NULL WHEN r % 5 = 0 THEN 4 ELSE 3 END");
    return series + QStringLiteral(", c AS (") + facts + QStringLiteral("), o AS (SELECT c.*, ") +
           outcome +
           QStringLiteral(" AS outcome FROM c) INSERT INTO checkouts (id, started, station, port, "
                          "model, serial, outcome, failed_steps, duration_ms, record, tool, "
                          "tool_version, operator, lot, firmware) SELECT ") +
           id + QStringLiteral(", ") + started + QStringLiteral(", ") + columns +
           QStringLiteral(" FROM o");
}

// Runs a statement without values (unprepared: PostgreSQL prepares no schema statements);
// false with the reason printed.
bool execute(RecordsDatabase &database, const QString &statement)
{
    if (database.runFixed(statement))
        return true;
    std::fprintf(stderr, "%s\n", qPrintable(database.errorText()));
    return false;
}

int populateLine(const QString &url)
{
    QString error;
    const std::optional<RecordsLocation> location = RecordsLocation::parse(url, &error);
    if (!location)
        return std::fprintf(stderr, "%s\n", qPrintable(error)), 2;
    RecordsStore store(*location);
    if (!store.open())
        return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
    RecordsDatabase &database = store.database();
    // A file made before steps were rows of their own is made again: its failures are in no
    // step's row.
    QSqlQuery count = database.prepare(QStringLiteral(
        "SELECT count(*), (SELECT count(*) FROM checkout_steps) FROM checkouts WHERE started < ?"));
    count.addBindValue(LineEnd);
    if (!database.exec(count) || !count.next())
        return std::fprintf(stderr, "%s\n", qPrintable(database.errorText())), 1;
    if (count.value(0).toInt() == LineCheckouts && count.value(1).toInt() > 0)
        return 0;
    count.finish();

    const bool sqlite = location->kind == RecordsLocation::Kind::Sqlite;
    QElapsedTimer timer;
    timer.start();
    // Indexed after the rows are in: a sort instead of a million scattered index inserts.
    QStringList indexes;
    QStringList names;
    QSqlQuery found = database.prepare(
        sqlite ? QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND "
                                "tbl_name = 'checkouts' AND sql IS NOT NULL")
               : QStringLiteral("SELECT indexname, indexdef FROM pg_indexes WHERE tablename = "
                                "'checkouts' AND indexname NOT LIKE '%_pkey'"));
    if (!database.exec(found))
        return 1;
    while (found.next()) {
        names.append(found.value(0).toString());
        indexes.append(found.value(1).toString());
    }
    if (sqlite && !execute(database, QStringLiteral("PRAGMA synchronous=OFF")))
        return 1;
    const bool filled = database.transaction([&] {
        for (const char *table : {"measurements", "checkout_steps", "checkouts"}) {
            if (!execute(database, QStringLiteral("DELETE FROM ") + QLatin1String(table)))
                return false;
        }
        for (const QString &name : std::as_const(names)) {
            if (!execute(database, QStringLiteral("DROP INDEX ") + name))
                return false;
        }
        // Each row's record the identity of a checkout without its steps: the report never
        // reads it, and a million whole records would make the file 4 GB to write.
        ReaderRecord record = checkout(0);
        record.steps.clear();
        QSqlQuery insert = database.prepare(lineStatement(sqlite));
        insert.addBindValue(
            QString::fromUtf8(QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact)));
        if (!database.exec(insert)) {
            std::fprintf(stderr, "%s\n", qPrintable(database.errorText()));
            return false;
        }
        // The one step that failed of each checkout that did not pass, as its row.
        return execute(database,
                       QStringLiteral("INSERT INTO checkout_steps (record_id, step_index, step, "
                                      "outcome, duration_ms, message) SELECT id, 0, failed_steps, "
                                      "CASE outcome WHEN 'error' THEN 'error' ELSE 'fail' END, "
                                      "0, '' FROM checkouts WHERE failed_steps <> ''")) &&
               std::all_of(indexes.cbegin(), indexes.cend(),
                           [&](const QString &index) { return execute(database, index); });
    });
    if (!filled)
        return 1;
    std::fprintf(stderr, "%d checkouts made in %.1f s\n", LineCheckouts,
                 double(timer.elapsed()) / 1000.0);
    timer.start();
    if (!YieldSummaries::rebuild(database))
        return std::fprintf(stderr, "%s\n", qPrintable(database.errorText())), 1;
    // What PostgreSQL's autovacuum would soon do after so many rows, done before the timing
    // rather than during it.
    if (!sqlite && !execute(database, QStringLiteral("VACUUM ANALYZE")))
        return 1;
    std::fprintf(stderr, "summaries made in %.1f s\n", double(timer.elapsed()) / 1000.0);
    return 0;
}

int rebuild(const QString &url)
{
    QString error;
    const std::optional<RecordsLocation> location = RecordsLocation::parse(url, &error);
    if (!location)
        return std::fprintf(stderr, "%s\n", qPrintable(error)), 2;
    RecordsStore store(*location);
    if (!store.open())
        return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
    QElapsedTimer timer;
    timer.start();
    if (!YieldSummaries::rebuild(store.database()))
        return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
    std::printf("%.1f\n", double(timer.elapsed()) / 1000.0);
    return 0;
}

int commitFloor(const QString &url, int count)
{
    QString error;
    const std::optional<RecordsLocation> location = RecordsLocation::parse(url, &error);
    if (!location)
        return std::fprintf(stderr, "%s\n", qPrintable(error)), 2;
    RecordsStore store(*location);
    if (!store.open())
        return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
    RecordsDatabase &database = store.database();
    if (!execute(database, QStringLiteral("CREATE TABLE bench_commits (n INTEGER)")))
        return 1;
    QElapsedTimer timer;
    for (int n = 0; n < count; ++n) {
        timer.start();
        const bool committed = database.transaction([&] {
            QSqlQuery *insert =
                database.prepared(QStringLiteral("INSERT INTO bench_commits (n) VALUES (?)"));
            if (!insert)
                return false;
            insert->addBindValue(n);
            return database.exec(*insert);
        });
        if (!committed)
            return std::fprintf(stderr, "%s\n", qPrintable(database.errorText())), 1;
        std::printf("%.3f\n", double(timer.nsecsElapsed()) / 1e6);
    }
    return execute(database, QStringLiteral("DROP TABLE bench_commits")) ? 0 : 1;
}

int storeInto(const QString &url, int count)
{
    QString error;
    const std::optional<RecordsLocation> location = RecordsLocation::parse(url, &error);
    if (!location)
        return std::fprintf(stderr, "%s\n", qPrintable(error)), 2;
    RecordsStore store(*location);
    if (!store.open())
        return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
    QElapsedTimer timer;
    for (int n = 0; n < count; ++n) {
        // Readers of the line that have checkouts already, so that each record is linked to
        // the chains of its reader.
        ReaderRecord record = checkout(n);
        record.serialNumber = (n * 7919) % LineReaders;
        record.station = QStringLiteral("line-2-station-%1").arg(n % 4);
        record.lot = QStringLiteral("lot-%1").arg(*record.serialNumber / 7000);
        timer.start();
        if (store.store(record) != RecordsStore::Stored::Added)
            return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
        std::printf("%.3f\n", double(timer.nsecsElapsed()) / 1e6);
    }
    return 0;
}

int retestCheck(const QString &url, int count)
{
    QString error;
    const std::optional<RecordsLocation> location = RecordsLocation::parse(url, &error);
    if (!location)
        return std::fprintf(stderr, "%s\n", qPrintable(error)), 2;
    bool warned = false;
    RecordsRetestGate gate(*location, [&warned](const QString &text) {
        warned = true;
        std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QElapsedTimer timer;
    for (int n = 0; n < count; ++n) {
        gate.readerIdentifying();
        timer.start();
        const RetestGate::Answer answer = gate.ask((n * 7919) % LineReaders, 3);
        std::printf("%.3f\n", double(timer.nsecsElapsed()) / 1e6);
        if (!answer.checked)
            return 1;
    }
    return warned ? 1 : 0;
}

// The values of the chained columns of each checkout, read as verify reads them.
QString chainSelect()
{
    return QStringLiteral("SELECT %1 FROM checkouts WHERE station = ? ORDER BY started, id")
        .arg(RecordChain::chainedColumns().join(QStringLiteral(", ")));
}

int chain(const QString &path)
{
    RecordsStore store(fileAt(path));
    if (!store.open())
        return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
    RecordsDatabase &database = store.database();
    QSqlQuery unchained = database.prepare(
        QStringLiteral("SELECT count(*) FROM checkouts WHERE chain_position IS NULL"));
    if (!database.exec(unchained) || !unchained.next())
        return 1;
    if (unchained.value(0).toLongLong() == 0)
        return 0;
    unchained.finish();
    QElapsedTimer timer;
    timer.start();
    execute(database, QStringLiteral("PRAGMA synchronous=OFF"));
    const bool chained = database.transaction([&] {
        QSqlQuery stations =
            database.prepare(QStringLiteral("SELECT DISTINCT station FROM checkouts"));
        if (!database.exec(stations))
            return false;
        QStringList names;
        while (stations.next())
            names.append(stations.value(0).toString());
        for (const QString &station : std::as_const(names)) {
            QSqlQuery rows = database.prepare(chainSelect());
            rows.addBindValue(station);
            if (!database.exec(rows))
                return false;
            QSqlQuery update = database.prepare(
                QStringLiteral("UPDATE checkouts SET chain_position = ?, chain_previous = ?, "
                               "chain_hash = ? WHERE id = ?"));
            QString previous;
            qint64 position = 0;
            while (rows.next()) {
                QVariantList values;
                for (int column = 0; column < RecordChain::chainedColumns().size(); ++column)
                    values.append(rows.value(column));
                const QString hash = RecordChain::hashOf(previous, values);
                update.addBindValue(++position);
                update.addBindValue(previous);
                update.addBindValue(hash);
                update.addBindValue(values.constFirst());
                if (!database.exec(update))
                    return false;
                previous = hash;
            }
        }
        return true;
    });
    if (!chained)
        return std::fprintf(stderr, "%s\n", qPrintable(database.errorText())), 1;
    std::fprintf(stderr, "chained in %.1f s\n", double(timer.elapsed()) / 1000.0);
    return 0;
}

int verify(const QString &path, int count)
{
    RecordsStore store(fileAt(path));
    if (!store.open(RecordsStore::OpenMode::ExistingOnly))
        return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
    ChainVerifier verifier(store.database());
    QElapsedTimer timer;
    for (int n = 0; n < count; ++n) {
        timer.start();
        const std::optional<ChainVerifier::Report> report = verifier.verify({}, {});
        if (!report || !report->findings.isEmpty() || report->checked == 0)
            return std::fprintf(stderr, "verify failed or found something\n"), 1;
        std::printf("%.3f\n", double(timer.nsecsElapsed()) / 1e6);
        std::fprintf(stderr, "%lld records checked\n", static_cast<long long>(report->checked));
    }
    return 0;
}

int chainLink(const QString &url, int count)
{
    QString error;
    const std::optional<RecordsLocation> location = RecordsLocation::parse(url, &error);
    if (!location)
        return std::fprintf(stderr, "%s\n", qPrintable(error)), 2;
    RecordsStore store(*location);
    if (!store.open())
        return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
    RecordsDatabase &database = store.database();
    const ReaderRecord record = checkout(0);
    const QVariantList values = RecordsStore::chainedValues(record);
    QElapsedTimer timer;
    for (int n = 0; n < count; ++n) {
        timer.start();
        // Inside a transaction as in a store, rolled back: the commit is the store's own.
        bool linked = false;
        database.transaction([&] {
            linked = RecordChain::next(database, record.station, values).has_value();
            return false;
        });
        if (!linked)
            return std::fprintf(stderr, "%s\n", qPrintable(database.errorText())), 1;
        std::printf("%.3f\n", double(timer.nsecsElapsed()) / 1e6);
    }
    return 0;
}

int list(const QString &path, int count)
{
    RecordsStore store(fileAt(path));
    if (!store.open())
        return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
    QElapsedTimer timer;
    for (int n = 0; n < count; ++n) {
        RecordsQuery query;
        query.serialNumber = (n * 4099) % 65536;
        timer.start();
        const auto found = store.list(query);
        if (!found || found->isEmpty())
            return std::fprintf(stderr, "serial %d: nothing\n", *query.serialNumber), 1;
        std::printf("%.3f\n", double(timer.nsecsElapsed()) / 1e6);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3)
        return 2;
    const QString &mode = arguments.at(1);
    const QString &path = arguments.at(2);
    if (mode == QLatin1String("populate-line"))
        return populateLine(path);
    if (mode == QLatin1String("rebuild"))
        return rebuild(path);
    if (mode == QLatin1String("store-into") && arguments.size() == 4)
        return storeInto(path, arguments.at(3).toInt());
    if (mode == QLatin1String("retest-check") && arguments.size() == 4)
        return retestCheck(path, arguments.at(3).toInt());
    if (mode == QLatin1String("chain"))
        return chain(path);
    if (mode == QLatin1String("chain-link") && arguments.size() == 4)
        return chainLink(path, arguments.at(3).toInt());
    if (mode == QLatin1String("commit-floor") && arguments.size() == 4)
        return commitFloor(path, arguments.at(3).toInt());
    if (arguments.size() != 4)
        return 2;
    const int count = arguments.at(3).toInt();
    if (mode == QLatin1String("store"))
        return store(path, count);
    if (mode == QLatin1String("populate"))
        return populate(path, count);
    if (mode == QLatin1String("list"))
        return list(path, count);
    if (mode == QLatin1String("verify"))
        return verify(path, count);
    return 2;
}
