#include "samplerecords.h"
#include "testdatabase.h"
#include "vornctlrun.h"

#include "../dashboard/dashboardprocess.h"
#include "../dashboard/httpexchange.h"

#include "store/recordkeeper.h"
#include "store/recordsstore.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QTextStream>
#include <QThread>

#include <memory>
#include <vector>

// A factory's records on one PostgreSQL server: stations through a transaction pool
// (pgbouncer, pool_mode = transaction, a small pool handed round in turn), a server whose
// connections are all taken, and reports from a hot standby. Run through
// tests/records/postgres_cluster.sh with VORN_TEST_PGBOUNCER and VORN_TEST_POSTGRES_STANDBY.
class FactoryRecordsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void valuesTravelBoundThroughThePool_data();
    void valuesTravelBoundThroughThePool();
    void roundTripsSavedKeepATransactionWhole_data();
    void roundTripsSavedKeepATransactionWhole();
    void stationsKeepThroughATransactionPool();
    void outboxDrainsThroughThePool();
    void fullServerKeepsRecordsUntilAConnectionFrees();
    void standbyAnswersReaders_data();
    void standbyAnswersReaders();
    void standbyRefusesAWrite();
    void dashboardOnAStandby();

private:
    RecordsLocation direct() const { return on(m_serverUrl); }
    RecordsLocation on(const QString &url) const;
    qint64 count(const RecordsLocation &location,
                 const QString &condition = QStringLiteral("1 = 1"));
    bool waitForStandby(qint64 checkouts);
    RecordsLocation outbox(const QString &name) const;
    QStringList vornctl(const RecordsLocation &location) const;

    TestDatabases m_databases;
    QString m_serverUrl = qEnvironmentVariable("VORN_TEST_POSTGRES_URL");
    QString m_standbyUrl = qEnvironmentVariable("VORN_TEST_POSTGRES_STANDBY_URL");
    RecordsLocation m_pooled; // the line's database, through the pool
    qint64 m_kept = 0;        // checkouts kept so far
};

void FactoryRecordsTest::initTestCase()
{
    if (qEnvironmentVariable("VORN_TEST_PGBOUNCER_URL").isEmpty() || m_standbyUrl.isEmpty())
        QSKIP("needs a private server with a pool and a standby (tests/records/postgres_cluster.sh "
              "with VORN_TEST_PGBOUNCER and VORN_TEST_POSTGRES_STANDBY)");
    qputenv("XDG_DATA_HOME", m_databases.folder().filePath(QStringLiteral("data")).toLocal8Bit());
    QString error;
    m_pooled = m_databases.fresh(&error);
    QVERIFY2(!m_pooled.isNone(), qPrintable(error));
    RecordsStore store(m_pooled);
    QVERIFY2(store.open(), qPrintable(store.errorText()));
}

RecordsLocation FactoryRecordsTest::on(const QString &url) const
{
    RecordsLocation location = *RecordsLocation::parse(url, nullptr);
    location.database = m_pooled.database;
    return location;
}

RecordsLocation FactoryRecordsTest::outbox(const QString &name) const
{
    return *RecordsLocation::parse(
        QStringLiteral("sqlite:") + m_databases.folder().filePath(name + QStringLiteral(".sqlite")),
        nullptr);
}

qint64 FactoryRecordsTest::count(const RecordsLocation &location, const QString &condition)
{
    RecordsStore store(location);
    if (!store.open(RecordsStore::OpenMode::ReadOnly))
        return -1;
    QSqlQuery query = store.database().prepare(
        QStringLiteral("SELECT count(*), count(DISTINCT id) FROM checkouts WHERE ") + condition);
    if (!store.database().exec(query) || !query.next())
        return -1;
    // A record kept twice would count once among the distinct ones only.
    return query.value(0) == query.value(1) ? query.value(0).toLongLong() : -2;
}

bool FactoryRecordsTest::waitForStandby(qint64 checkouts)
{
    const QDeadlineTimer deadline(20'000);
    while (!deadline.hasExpired()) {
        if (count(on(m_standbyUrl)) == checkouts)
            return true;
        QThread::msleep(50);
    }
    return false;
}

QStringList FactoryRecordsTest::vornctl(const RecordsLocation &location) const
{
    return {QStringLiteral("--records"), location.url(), QStringLiteral("records")};
}

void FactoryRecordsTest::valuesTravelBoundThroughThePool_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("answer");
    const QString quoted = QStringLiteral("x'); DROP TABLE checkouts; --\\ \"ü\"");
    QTest::newRow("text that would end a literal")
        << "SELECT ?" << QVariant(quoted) << QVariant(quoted);
    QTest::newRow("marks in a literal, a name and a comment are not values")
        << "SELECT '?' || \"?\" || ? FROM (SELECT 1 AS \"?\") AS q -- ?\n"
        << QVariant(QStringLiteral("x")) << QVariant(QStringLiteral("?1x"));
    QTest::newRow("null") << "SELECT CAST(? AS TEXT) IS NULL"
                          << QVariant(QMetaType(QMetaType::QString)) << QVariant(true);
    QTest::newRow("bytes, a zero among them")
        << "SELECT ?" << QVariant(QByteArray("a\0b\xff", 4)) << QVariant(QByteArray("a\0b\xff", 4));
    QTest::newRow("number into a number") << "SELECT ? + 1" << QVariant(41) << QVariant(42);
    QTest::newRow("big number") << "SELECT CAST(? AS BIGINT) * 2" << QVariant(qint64(1) << 40)
                                << QVariant(qint64(1) << 41);
}

// Values reach the server as parameters of their own, never written into the statement, through
// the pool as well.
void FactoryRecordsTest::valuesTravelBoundThroughThePool()
{
    QFETCH(QString, statement);
    QFETCH(QVariant, value);
    QFETCH(QVariant, answer);
    RecordsStore store(m_pooled);
    QVERIFY2(store.open(), qPrintable(store.errorText()));
    QSqlQuery query = store.database().prepare(statement);
    query.addBindValue(value);
    QVERIFY2(store.database().exec(query), qPrintable(store.errorText()));
    QVERIFY(query.next());
    if (answer.typeId() == QMetaType::QByteArray)
        QCOMPARE(query.value(0).toByteArray(), answer.toByteArray());
    else
        QCOMPARE(query.value(0).toString(), answer.toString());
    QCOMPARE(count(direct()), m_kept); // the table is still there
}

void FactoryRecordsTest::roundTripsSavedKeepATransactionWhole_data()
{
    QTest::addColumn<bool>("reader");
    QTest::addColumn<QString>("first");      // run at once: it goes with BEGIN
    QTest::addColumn<QString>("withCommit"); // run with the commit
    QTest::addColumn<bool>("ended");         // the server ends the connection before the commit
    QTest::addColumn<bool>("committed");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("reason"); // what a failed transaction's words name
    const QString insert = QStringLiteral("INSERT INTO round_trips VALUES (?, 1)");
    const QString failing = QStringLiteral("INSERT INTO round_trips SELECT ?, 1 / 0");
    const QString none;
    const QString byZero = QStringLiteral("division by zero");
    const QString readOnly = QStringLiteral("only reads here");
    QTest::newRow("a change with the commit is kept")
        << false << insert << insert << false << true << 2 << none;
    QTest::newRow("a change with the commit that fails fails the commit")
        << false << insert << failing << false << false << 0 << byZero;
    QTest::newRow("a first statement that fails")
        << false << failing << insert << false << false << 0 << byZero;
    QTest::newRow("a reader's write is refused")
        << true << insert << none << false << false << 0 << readOnly;
    QTest::newRow("a reader's write with the commit is refused")
        << true << none << insert << false << false << 0 << readOnly;
    // An administrator, or a server restarting: the commit is never reported as done.
    QTest::newRow("the connection ended before the commit")
        << false << insert << insert << true << false << 0 << QStringLiteral("was lost");
}

// BEGIN goes with a transaction's first statement and the summaries' change with its COMMIT,
// through the pool: a change that fails, or a connection lost before the commit, still fails
// the whole transaction and leaves nothing; a reader's transaction is still read-only; and the
// connection answers the next transaction after any of them.
void FactoryRecordsTest::roundTripsSavedKeepATransactionWhole()
{
    QFETCH(bool, reader);
    QFETCH(QString, first);
    QFETCH(QString, withCommit);
    QFETCH(bool, ended);
    QFETCH(bool, committed);
    QFETCH(int, rows);
    QFETCH(QString, reason);
    RecordsStore owner(m_pooled);
    QVERIFY2(owner.open(), qPrintable(owner.errorText()));
    QVERIFY2(owner.database().runFixed(QStringLiteral(
                 "CREATE TABLE IF NOT EXISTS round_trips (tag TEXT NOT NULL, n INTEGER)")),
             qPrintable(owner.errorText()));
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    RecordsStore store(m_pooled);
    QVERIFY2(store.open(reader ? RecordsStore::OpenMode::ReadOnly
                               : RecordsStore::OpenMode::CreateIfMissing),
             qPrintable(store.errorText()));
    RecordsDatabase &database = store.database();
    const auto run = [&](const QString &statement, bool atCommit) {
        if (statement.isEmpty())
            return true;
        QSqlQuery query = database.prepare(statement);
        query.addBindValue(tag);
        return atCommit ? database.execWithCommit(query) : database.exec(query);
    };
    const auto end = [&] {
        QSqlQuery self = database.prepare(QStringLiteral("SELECT pg_backend_pid()"));
        QSqlQuery ending =
            owner.database().prepare(QStringLiteral("SELECT pg_terminate_backend(?)"));
        if (!database.exec(self) || !self.next())
            return false;
        ending.addBindValue(self.value(0));
        return owner.database().exec(ending);
    };
    const bool done = database.transaction(
        [&] { return run(first, false) && (!ended || end()) && run(withCommit, true); });
    QCOMPARE(done, committed);
    if (!committed)
        QVERIFY2(store.errorText().contains(reason), qPrintable(store.errorText()));
    QList<RecordsDatabase *> readers{&owner.database()};
    if (!ended)
        readers.append(&database);
    for (RecordsDatabase *each : std::as_const(readers)) {
        QSqlQuery count =
            each->prepare(QStringLiteral("SELECT count(*) FROM round_trips WHERE tag = ?"));
        count.addBindValue(tag);
        QVERIFY2(each->transaction([&] { return each->exec(count) && count.next(); }),
                 qPrintable(each->errorText()));
        QCOMPARE(count.value(0).toInt(), rows);
    }
}

// Stations that keep their store open from one checkout to the next, several at once: the
// pool hands each transaction another server connection, where a statement prepared by name
// in an earlier one is not.
void FactoryRecordsTest::stationsKeepThroughATransactionPool()
{
    constexpr int Stations = 6;
    constexpr int Records = 8;
    struct Station
    {
        RecordKeeper::Kept kept;
        QString warnings;
    };
    std::vector<Station> stations(Stations);
    std::vector<std::unique_ptr<QThread>> threads;
    for (int index = 0; index < Stations; ++index) {
        threads.emplace_back(QThread::create([&, index] {
            const QString name = QStringLiteral("pooled-%1").arg(index);
            RecordsStore store(m_pooled);
            Station &station = stations[std::size_t(index)];
            QTextStream warnings(&station.warnings);
            if (!store.open()) {
                warnings << store.errorText();
                return;
            }
            RecordKeeper keeper(m_pooled, outbox(name));
            for (int n = 0; n < Records; ++n) {
                ReaderRecord record = sampleRecord(index * 100 + n, name);
                record.station = name;
                const RecordKeeper::Kept kept = keeper.keep({record}, store, warnings);
                station.kept.stored += kept.stored;
                station.kept.queued += kept.queued;
            }
        }));
        threads.back()->start();
    }
    for (const auto &thread : threads)
        QVERIFY(thread->wait(120'000));
    for (const Station &station : stations) {
        QVERIFY2(station.warnings.isEmpty(), qPrintable(station.warnings));
        QCOMPARE(station.kept.stored, Records);
        QCOMPARE(station.kept.queued, 0);
    }
    m_kept += qint64(Stations) * Records;
    QCOMPARE(count(direct()), m_kept);

    // vornctl reads through the pool as a station writes through it.
    const VornctlRun list = VornctlRun::of(
        vornctl(m_pooled) + QStringList{QStringLiteral("list"), QStringLiteral("--station"),
                                        QStringLiteral("pooled-3")});
    QVERIFY2(list.exitCode == 0, qPrintable(list.err));
    QCOMPARE(list.out.count(QStringLiteral("pooled-3-")), Records);
    const VornctlRun report = VornctlRun::of(
        vornctl(m_pooled) + QStringList{QStringLiteral("report"), QStringLiteral("--json"),
                                        QStringLiteral("--since"), QStringLiteral("2020-01-01")});
    QVERIFY2(report.exitCode == 0, qPrintable(report.err));
}

void FactoryRecordsTest::outboxDrainsThroughThePool()
{
    RecordKeeper keeper(m_pooled, outbox(QStringLiteral("drained")));
    QString text;
    QTextStream warnings(&text);
    QList<ReaderRecord> waiting;
    for (int n = 0; n < 3; ++n)
        waiting.append(sampleRecord(900 + n, QStringLiteral("waited")));
    QCOMPARE(keeper.keepInOutbox(waiting, QStringLiteral("the server was away"), warnings).queued,
             3);
    const RecordKeeper::Kept kept =
        keeper.keep({sampleRecord(950, QStringLiteral("after"))}, warnings);
    QCOMPARE(kept.sent, 3);
    QCOMPARE(kept.stored, 1);
    m_kept += 4;
    QCOMPARE(count(direct()), m_kept);
}

// Straight to a server whose every connection is taken (the line's old way, no pool): the
// station's record waits in its outbox, said to wait for a full server, and is stored with the
// next record once a connection is free.
void FactoryRecordsTest::fullServerKeepsRecordsUntilAConnectionFrees()
{
    QStringList holders;
    QString refusal;
    for (int n = 0; n < 200 && refusal.isEmpty(); ++n) {
        const QString name = QStringLiteral("holder-%1").arg(n);
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        holder.setHostName(direct().host);
        holder.setPort(direct().port);
        holder.setUserName(direct().user);
        holder.setDatabaseName(direct().database);
        if (holder.open()) {
            holders.append(name);
            continue;
        }
        refusal = holder.lastError().text();
        holder = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
    const auto release = [](const QString &name) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    };
    QVERIFY2(refusal.contains(QLatin1String("too many clients")), qPrintable(refusal));

    RecordKeeper keeper(direct(), outbox(QStringLiteral("full")));
    QString text;
    QTextStream warnings(&text);
    const RecordKeeper::Kept refused =
        keeper.keep({sampleRecord(700, QStringLiteral("refused"))}, warnings);
    warnings.flush();
    const bool queued = refused.queued == 1 && text.contains(QLatin1String("is full"));
    release(holders.takeLast());
    const RecordKeeper::Kept later =
        keeper.keep({sampleRecord(701, QStringLiteral("freed"))}, warnings);
    for (const QString &name : std::as_const(holders))
        release(name);
    QVERIFY2(queued, qPrintable(text));
    QCOMPARE(later.sent, 1);
    QCOMPARE(later.stored, 1);
    m_kept += 2;
    QCOMPARE(count(direct()), m_kept);
}

void FactoryRecordsTest::standbyAnswersReaders_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("shows");
    QTest::newRow("list") << QStringList{"list", "--station", "pooled-1"} << "pooled-1-";
    QTest::newRow("show") << QStringList{"show", "pooled-2-000201"} << "pooled-2-000201";
    QTest::newRow("history") << QStringList{"history", "1005"} << "1005";
    QTest::newRow("report") << QStringList{"report", "--since", "2020-01-01"} << "yield";
}

// Every reading command on the standby, which refuses any write: none of them writes, and the
// records stored on the primary are there.
void FactoryRecordsTest::standbyAnswersReaders()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, shows);
    QVERIFY(waitForStandby(m_kept));
    const VornctlRun run = VornctlRun::of(vornctl(on(m_standbyUrl)) + arguments);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains(shows, Qt::CaseInsensitive), qPrintable(run.out));
}

void FactoryRecordsTest::standbyRefusesAWrite()
{
    const VornctlRun run = VornctlRun::of(
        vornctl(on(m_standbyUrl)) +
        QStringList{"repair", "1005", "--symptom", "clocks", "--action", "crystal replaced"});
    QVERIFY2(run.exitCode != 0, qPrintable(run.out));
    QVERIFY2(run.err.contains(QLatin1String("write to its primary")), qPrintable(run.err));
}

void FactoryRecordsTest::dashboardOnAStandby()
{
    QVERIFY(waitForStandby(m_kept));
    DashboardProcess dashboard;
    QVERIFY2(dashboard.start(on(m_standbyUrl).url()), qPrintable(dashboard.output()));
    const std::optional<HttpAnswer> records =
        httpRequest(dashboard.port(), "GET", "/api/records?station=pooled-4");
    QVERIFY(records);
    QCOMPARE(records->status, 200);
    QCOMPARE(records->body.count("pooled-4-"), 8);
    // It says that it reads a standby, and up to which moment it has the primary's changes.
    const std::optional<HttpAnswer> source = httpRequest(dashboard.port(), "GET", "/api/source");
    QVERIFY(source);
    QCOMPARE(source->status, 200);
    const QJsonObject json = QJsonDocument::fromJson(source->body).object();
    QCOMPARE(json.value(QStringLiteral("standby")).toBool(), true);
    const QDateTime replayed =
        QDateTime::fromString(json.value(QStringLiteral("replayed")).toString(), Qt::ISODateWithMs);
    QVERIFY2(replayed.isValid(), source->body.constData());
    QVERIFY(replayed.secsTo(QDateTime::currentDateTimeUtc()) < 600);
    QCOMPARE(dashboard.stop(), 0);
}

QTEST_GUILESS_MAIN(FactoryRecordsTest)
#include "tst_factoryrecords.moc"
