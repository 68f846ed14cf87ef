// vorn-bench-records: the records store's own times on an SQLite file.
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

#include "samplecheckout.h"

#include "records/recordsstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTimeZone>

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
    if (arguments.size() != 4)
        return 2;
    const QString &mode = arguments.at(1);
    const QString &path = arguments.at(2);
    const int count = arguments.at(3).toInt();
    if (mode == QLatin1String("store"))
        return store(path, count);
    if (mode == QLatin1String("populate"))
        return populate(path, count);
    if (mode == QLatin1String("list"))
        return list(path, count);
    return 2;
}
