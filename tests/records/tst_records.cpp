#include "records/longmigration.h"
#include "records/samplerecords.h"
#include "records/vornctlrun.h"
#include "store/recordkeeper.h"
#include "store/recordsoutbox.h"
#include "store/recordsretestgate.h"
#include "store/recordsstore.h"
#include "yield/yieldreport.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimeZone>

#include <array>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

// The records store on a real database: an SQLite file, or, when VORN_TEST_POSTGRES_URL names
// a server (tests/records/postgres_cluster.sh starts a private one), PostgreSQL. The same tests
// run on both; a few only make sense on one of them.
class RecordsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void storedOnceAndReadBackWhole();
    void list_data();
    void list();
    void fourWritersAtOnce();
    void killedWhileStoringLeavesWholeRecords();
    void serverAwayRecordsWaitInTheOutbox();
    void refusedConnections_data();
    void refusedConnections();
    void measurementsAreRowsOfTheirOwn();
    void firstReleaseFileMigratedInPlace();
    void stepsOfKeptRecordsBecomeRows();
    void recordsWaitInTheOutboxForALongMigration();

    void readersMakeNothing_data();
    void readersMakeNothing();
    void readOnlyNeverWrites();
    void olderSchema_data();
    void olderSchema();
    void transactionIsWholeOrNothing_data();
    void transactionIsWholeOrNothing();
    void rejectedRecordWaitsInTheOutbox();
    void failedStoreLeavesTheFiguresAsTheyWere_data();
    void failedStoreLeavesTheFiguresAsTheyWere();
    void threadsShareOneConnection();
    void serverRestartedBetweenRecords();
    void retestLimitCountsEveryStationUntilARepair();
    void sqliteStatisticsTakenOnceNeverOnAnOutbox();

private:
    bool onPostgreSql() const { return !m_serverUrl.isEmpty(); }
    RecordsLocation freshLocation(const QString &owner = QStringLiteral("postgres"));
    // A location where nothing was kept: a file in a folder that is not there, or a database
    // on the server without tables.
    RecordsLocation emptyLocation();
    void runOnServer(const QString &statement);
    // Runs statements on the records database itself, beside the store's own connection.
    void runOn(const RecordsLocation &location, const QStringList &statements);
    QStringList tablesOf(const RecordsLocation &location);
    void cluster(const QString &command);

    QTemporaryDir m_folder;
    QString m_serverUrl = qEnvironmentVariable("VORN_TEST_POSTGRES_URL");
    QString m_poolUrl = qEnvironmentVariable("VORN_TEST_PGBOUNCER_URL");
    int m_databases = 0;
};

void RecordsTest::initTestCase()
{
    QVERIFY(m_folder.isValid());
    // The default outbox lives here, for this process and the vornctl it starts.
    qputenv("XDG_DATA_HOME", m_folder.filePath(QStringLiteral("data")).toLocal8Bit());
    if (onPostgreSql())
        runOnServer(QStringLiteral("DO $$ BEGIN CREATE ROLE locked LOGIN PASSWORD 'secret'; "
                                   "EXCEPTION WHEN duplicate_object THEN NULL; END $$"));
}

// An empty database: a new file, or a new database on the server.
RecordsLocation RecordsTest::freshLocation(const QString &owner)
{
    ++m_databases;
    QString error;
    if (!onPostgreSql())
        return *RecordsLocation::parse(
            QStringLiteral("sqlite:") +
                m_folder.filePath(QStringLiteral("records-%1.sqlite").arg(m_databases)),
            &error);
    const QString name = QStringLiteral("records_%1").arg(m_databases);
    runOnServer(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
    runOnServer(QStringLiteral("CREATE DATABASE %1 OWNER %2").arg(name, owner));
    // Through the transaction pool in front of the server, when there is one.
    RecordsLocation location =
        *RecordsLocation::parse(m_poolUrl.isEmpty() ? m_serverUrl : m_poolUrl, &error);
    location.database = name;
    return location;
}

void RecordsTest::runOnServer(const QString &statement)
{
    const RecordsLocation server = *RecordsLocation::parse(m_serverUrl, nullptr);
    {
        QSqlDatabase database =
            QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("admin"));
        database.setHostName(server.host);
        database.setPort(server.port);
        database.setUserName(server.user);
        database.setDatabaseName(server.database);
        QVERIFY2(database.open(), qPrintable(database.lastError().text()));
        QSqlQuery query(database);
        QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("admin"));
}

RecordsLocation RecordsTest::emptyLocation()
{
    RecordsLocation location = freshLocation();
    if (!onPostgreSql())
        location.path =
            m_folder.filePath(QStringLiteral("nothing-%1/records.sqlite").arg(m_databases));
    return location;
}

void RecordsTest::runOn(const RecordsLocation &location, const QStringList &statements)
{
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(
            onPostgreSql() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
            QStringLiteral("beside"));
        if (onPostgreSql()) {
            database.setHostName(location.host);
            database.setPort(location.port);
            database.setUserName(location.user);
            database.setDatabaseName(location.database);
        } else {
            database.setDatabaseName(location.path);
        }
        QVERIFY2(database.open(), qPrintable(database.lastError().text()));
        for (const QString &statement : statements) {
            QSqlQuery query(database);
            QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("beside"));
}

QStringList RecordsTest::tablesOf(const RecordsLocation &location)
{
    QStringList tables;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(
            onPostgreSql() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
            QStringLiteral("tables"));
        database.setHostName(location.host);
        database.setPort(location.port);
        database.setUserName(location.user);
        database.setDatabaseName(onPostgreSql() ? location.database : location.path);
        if (database.open())
            tables = database.tables();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tables"));
    tables.sort();
    return tables;
}

void RecordsTest::cluster(const QString &command)
{
    QProcess script;
    script.start(qEnvironmentVariable("VORN_TEST_POSTGRES_SCRIPT"),
                 {command, qEnvironmentVariable("VORN_TEST_POSTGRES_DIR")});
    QVERIFY(script.waitForFinished(60'000));
    QCOMPARE(script.exitCode(), 0);
}

void RecordsTest::storedOnceAndReadBackWhole()
{
    RecordsStore store(freshLocation());
    QVERIFY2(store.open(), qPrintable(store.errorText()));
    // A passing reader, one that failed a step, one that never identified.
    for (int n : {1, 5, 7}) {
        QCOMPARE(store.store(sampleRecord(n)), RecordsStore::Stored::Added);
        QCOMPARE(store.store(sampleRecord(n)), RecordsStore::Stored::AlreadyThere);
        std::optional<ReaderRecord> found;
        QVERIFY(store.find(sampleRecord(n).id, found));
        QVERIFY(found);
        QCOMPARE(*found, sampleRecord(n));
    }
    std::optional<ReaderRecord> missing;
    QVERIFY(store.find(QStringLiteral("no-such-record"), missing));
    QVERIFY(!missing);

    // Reopened (the schema is current): the same three.
    RecordsStore again(store.location());
    QVERIFY2(again.open(), qPrintable(again.errorText()));
    const auto all = again.list({});
    QVERIFY(all);
    QCOMPARE(all->size(), 3);
    // Newest first.
    QCOMPARE(all->at(0).failedSteps, QStringList{QStringLiteral("identify")});
    QVERIFY(!all->at(0).serialNumber);
    QCOMPARE(all->at(1).failedSteps, QStringList{QStringLiteral("clocks")});
    QCOMPARE(all->at(1).serialNumber, 1005);
    QCOMPARE(all->at(2).failedSteps, QStringList{});
}

void RecordsTest::list_data()
{
    QTest::addColumn<RecordsQuery>("query");
    QTest::addColumn<QList<int>>("expected"); // record numbers, newest first

    const QDateTime first = sampleRecord(0).started;
    QTest::newRow("all") << RecordsQuery{} << QList<int>{12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
    const auto where = [](const std::function<void(RecordsQuery &)> &set) {
        RecordsQuery query;
        set(query);
        return query;
    };
    QTest::newRow("serial") << where([](RecordsQuery &q) { q.serialNumber = 1005; })
                            << QList<int>{5};
    QTest::newRow("outcome") << where([](RecordsQuery &q) { q.outcome = ReaderOutcome::Fail; })
                             << QList<int>{10, 5};
    QTest::newRow("since") << where([&first](RecordsQuery &q) { q.since = first.addSecs(600); })
                           << QList<int>{12, 11, 10};
    QTest::newRow("station and limit") << where([](RecordsQuery &q) {
        q.station = QStringLiteral("station-1");
        q.limit = 2;
    }) << QList<int>{10, 7};
    QTest::newRow("lot and operator") << where([](RecordsQuery &q) {
        q.lot = QStringLiteral("lot-0");
        q.operatorName = QStringLiteral("operator-1");
    }) << QList<int>{9, 7, 5, 3, 1};
    QTest::newRow("nothing matches") << where([](RecordsQuery &q) {
        q.serialNumber = 1005;
        q.outcome = ReaderOutcome::Pass;
    }) << QList<int>{};
}

void RecordsTest::list()
{
    QFETCH(RecordsQuery, query);
    QFETCH(QList<int>, expected);
    static std::unique_ptr<RecordsStore> store;
    if (!store) {
        store = std::make_unique<RecordsStore>(freshLocation());
        QVERIFY2(store->open(), qPrintable(store->errorText()));
        for (int n : {3, 1, 2, 12, 4, 5, 6, 7, 8, 9, 10, 11}) // not in time order
            QCOMPARE(store->store(sampleRecord(n)), RecordsStore::Stored::Added);
    }
    const auto found = store->list(query);
    QVERIFY2(found, qPrintable(store->errorText()));
    QStringList ids;
    for (const RecordSummary &summary : *found)
        ids.append(summary.id);
    QStringList expectedIds;
    for (int n : expected)
        expectedIds.append(sampleRecord(n).id);
    QCOMPARE(ids, expectedIds);
}

void RecordsTest::fourWritersAtOnce()
{
    // Four stations meet an empty database at once: each makes the schema if it is first,
    // stores its own 50 checkouts, then those of the next station again, at the same moment as
    // that station.
    const RecordsLocation location = freshLocation();
    std::array<QProcess, 4> writers;
    for (int station = 0; station < 4; ++station) {
        writers[station].setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writers[station].start(QStringLiteral(RECORDS_WRITER_PATH),
                               {location.url(), QString::number(station * 50), QStringLiteral("50"),
                                QString::number((station + 1) % 4 * 50)});
    }
    for (QProcess &writer : writers) {
        QVERIFY(writer.waitForFinished(60'000));
        QCOMPARE(writer.exitCode(), 0);
    }
    RecordsStore store(location);
    QVERIFY2(store.open(), qPrintable(store.errorText()));
    const auto all = store.list({});
    QVERIFY(all);
    QSet<QString> ids;
    for (const RecordSummary &summary : *all)
        ids.insert(summary.id);
    QCOMPARE(all->size(), 200);
    QCOMPARE(ids.size(), 200);
}

void RecordsTest::killedWhileStoringLeavesWholeRecords()
{
    if (onPostgreSql())
        QSKIP("the server's own durability: a killed client only loses its connection");
    const RecordsLocation location = freshLocation();
    QProcess writer;
    writer.start(QStringLiteral(RECORDS_WRITER_PATH),
                 {location.url(), QStringLiteral("0"), QStringLiteral("1000000")});
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += writer.readAllStandardOutput()).contains("stored 40\n"),
                             30'000);
    writer.kill(); // SIGKILL, in the middle of a record
    QVERIFY(writer.waitForFinished(10'000));

    {
        QSqlDatabase file =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        file.setDatabaseName(location.path);
        QVERIFY(file.open());
        QSqlQuery check(file);
        QVERIFY(check.exec(QStringLiteral("PRAGMA integrity_check")) && check.next());
        QCOMPARE(check.value(0).toString(), QStringLiteral("ok"));
        // Every row is a whole record, and every record reported stored is there.
        QSqlQuery rows(file);
        QVERIFY(rows.exec(
            QStringLiteral("SELECT id, failed_steps, record FROM checkouts ORDER BY id")));
        int n = 0;
        for (; rows.next(); ++n) {
            const auto record = ReaderRecord::fromJson(
                QJsonDocument::fromJson(rows.value(2).toString().toUtf8()).object());
            QVERIFY(record);
            QCOMPARE(*record, sampleRecord(n));
            QCOMPARE(rows.value(0).toString(), record->id);
            QCOMPARE(rows.value(1).toString(), record->failedSteps().join(QLatin1Char(' ')));
        }
        QVERIFY(n > 40);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
}

void RecordsTest::serverAwayRecordsWaitInTheOutbox()
{
    if (!onPostgreSql())
        QSKIP("a file does not go away; the server does");
    const RecordsLocation location = freshLocation();
    RecordKeeper keeper(location);
    QString warnings;
    QTextStream warningStream(&warnings);
    QCOMPARE(keeper.keep({sampleRecord(1), sampleRecord(2)}, warningStream).stored, 2);
    QVERIFY(warnings.isEmpty());

    cluster(QStringLiteral("stop"));
    const RecordKeeper::Kept kept =
        keeper.keep({sampleRecord(3), sampleRecord(4), sampleRecord(5)}, warningStream);
    QCOMPARE(kept.queued, 3);
    QCOMPARE(kept.stored + kept.lost, 0);
    QVERIFY2(warnings.contains(QLatin1String("refused")) &&
                 warnings.contains(QLatin1String("outbox")),
             qPrintable(warnings));
    cluster(QStringLiteral("start"));

    // A record the server took while its acknowledgement was lost: sent again, kept once.
    RecordsOutbox outbox(RecordsLocation::outboxLocation());
    QVERIFY(outbox.open());
    QVERIFY(outbox.add(location.url(), sampleRecord(2)));

    const QStringList sync{QStringLiteral("--records"), location.url(), QStringLiteral("records"),
                           QStringLiteral("sync")};
    const VornctlRun first = VornctlRun::of(sync);
    QCOMPARE(first.exitCode, 0);
    QVERIFY2(first.out.contains(QLatin1String("sent 4 records")) &&
                 first.out.contains(QLatin1String("1 had arrived before")),
             qPrintable(first.out + first.err));
    const VornctlRun second = VornctlRun::of(sync);
    QCOMPARE(second.exitCode, 0);
    QVERIFY2(second.out.startsWith(QLatin1String("nothing to send")), qPrintable(second.out));

    RecordsStore store(location);
    QVERIFY(store.open());
    QCOMPARE(store.list({})->size(), 5);
    // Those that waited are chained as they arrived, the one sent twice once.
    const VornctlRun verified =
        VornctlRun::of({QStringLiteral("--records"), location.url(), QStringLiteral("records"),
                        QStringLiteral("verify")});
    QVERIFY2(verified.exitCode == 0 && verified.out.contains(QLatin1String("5 chained records")),
             qPrintable(verified.out + verified.err));
}

void RecordsTest::refusedConnections_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<int>("port"); // 0: the server's
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("password"); // PGPASSWORD
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("words");

    QTest::newRow("password from PGPASSWORD") << "locked" << 0 << "own"
                                              << "secret" << 0 << "";
    QTest::newRow("no password") << "locked" << 0 << "own"
                                 << "" << 3 << "authentication failed";
    QTest::newRow("wrong password") << "locked" << 0 << "own"
                                    << "wrong" << 3 << "authentication failed";
    QTest::newRow("no such database") << "postgres" << 0 << "nothing"
                                      << "" << 3 << "has no database nothing";
    QTest::newRow("no server on the port") << "postgres" << 1 << "own"
                                           << "" << 3 << "refused the connection";
}

void RecordsTest::refusedConnections()
{
    if (!onPostgreSql())
        QSKIP("a PostgreSQL server's answers");
    QFETCH(QString, user);
    QFETCH(int, port);
    QFETCH(QString, database);
    QFETCH(QString, password);
    QFETCH(int, exitCode);
    QFETCH(QString, words);

    static RecordsLocation own;
    if (own.isNone()) {
        // A database its owner has kept records in: reading never makes the tables.
        own = freshLocation(QStringLiteral("locked"));
        RecordsLocation owner = own;
        owner.user = QStringLiteral("locked");
        const bool hadPassword = qEnvironmentVariableIsSet("PGPASSWORD");
        const QByteArray password = qgetenv("PGPASSWORD");
        qputenv("PGPASSWORD", "secret");
        RecordsStore tables(owner);
        const bool made = tables.open();
        if (hadPassword)
            qputenv("PGPASSWORD", password);
        else
            qunsetenv("PGPASSWORD");
        QVERIFY2(made, qPrintable(tables.errorText()));
    }
    RecordsLocation location = own;
    location.user = user;
    location.port = port == 0 ? location.port : port;
    location.database = database == QLatin1String("own") ? location.database : database;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("PGPASSWORD"));
    if (!password.isEmpty())
        environment.insert(QStringLiteral("PGPASSWORD"), password);
    const VornctlRun run = VornctlRun::of({QStringLiteral("--records"), location.url(),
                                           QStringLiteral("records"), QStringLiteral("list")},
                                          environment);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(words), qPrintable(run.err));
}

void RecordsTest::measurementsAreRowsOfTheirOwn()
{
    RecordsStore store(freshLocation());
    QVERIFY2(store.open(), qPrintable(store.errorText()));
    QCOMPARE(store.store(sampleRecord(5)), RecordsStore::Stored::Added);
    QCOMPARE(store.store(sampleRecord(5)), RecordsStore::Stored::AlreadyThere);

    // Read as an analysis tool would: plain SQL over the rows, beside the store's connection.
    const QString connection = QStringLiteral("analysis");
    {
        const RecordsLocation &location = store.location();
        const bool sqlite = location.kind == RecordsLocation::Kind::Sqlite;
        QSqlDatabase database = QSqlDatabase::addDatabase(
            sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), connection);
        database.setDatabaseName(sqlite ? location.path : location.database);
        database.setHostName(location.host);
        database.setPort(location.port);
        database.setUserName(location.user);
        QVERIFY2(database.open(), qPrintable(database.lastError().text()));
        QSqlQuery query(database);
        QVERIFY(query.exec(QStringLiteral(
            "SELECT m.step, m.name, m.value_number, m.unit, m.limit_low, m.limit_high, "
            "m.limit_json, m.outcome, c.lot, c.operator, c.tool, c.firmware "
            "FROM measurements m JOIN checkouts c ON c.id = m.record_id "
            "ORDER BY m.step, m.name")));
        QStringList rows;
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < 12; ++i)
                fields.append(query.value(i).isNull() ? QStringLiteral("NULL")
                                                      : query.value(i).toString());
            rows.append(fields.join(QLatin1Char('|')));
        }
        QCOMPARE(rows, (QStringList{
                           "clocks|clock_slots_following|7||NULL|NULL|{\"equals\":8}|fail|lot-0|"
                           "operator-1|vornctl|3",
                           "identify|firmware|3||NULL|NULL|NULL|pass|lot-0|operator-1|vornctl|3",
                           "identify|model_type|8||NULL|NULL|{\"equals\":8}|pass|lot-0|"
                           "operator-1|vornctl|3",
                           "identify|serial|1005||NULL|NULL|NULL|pass|lot-0|operator-1|vornctl|3",
                           "time|time_setting_s|20|s|0|428|{\"high\":428,\"low\":0}|pass|"
                           "lot-0|operator-1|vornctl|3",
                       }));
    }
    QSqlDatabase::removeDatabase(connection);
}

void RecordsTest::firstReleaseFileMigratedInPlace()
{
    if (onPostgreSql())
        QSKIP("the fixture is a records file");
    const QString path = m_folder.filePath(QStringLiteral("first-release.sqlite"));
    QVERIFY(QFile::copy(QStringLiteral(VORN_TEST_RECORDS "/v1-records.sqlite"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    const RecordsLocation location = *RecordsLocation::parse("sqlite:" + path, nullptr);

    RecordsStore store(location);
    QVERIFY2(store.open(), qPrintable(store.errorText()));
    const auto old = store.list({});
    QVERIFY(old);
    QCOMPARE(old->size(), 7);
    QStringList outcomes;
    for (const RecordSummary &summary : *old)
        outcomes.append(summary.outcome + QLatin1Char(':') + summary.failedSteps.join(','));
    QCOMPARE(outcomes, (QStringList{"error:select-slot", "pass:", "fail:clocks", "fail:identify",
                                    "fail:echo", "pass:", "pass:"}));
    // The old records as they were written: their text, no measurements.
    std::optional<ReaderRecord> echoFailed;
    QVERIFY(store.find(old->at(4).id, echoFailed));
    QVERIFY(echoFailed);
    QCOMPARE(echoFailed->step("echo")->measured, QStringLiteral("sent 0x00, received 0x08"));
    QVERIFY(echoFailed->step("echo")->measurements.isEmpty());
    QVERIFY(echoFailed->lot.isEmpty());

    // New records go in beside them, with their measurements; the old ones stay listed.
    QCOMPARE(store.store(sampleRecord(1)), RecordsStore::Stored::Added);
    RecordsStore again(location);
    QVERIFY2(again.open(), qPrintable(again.errorText()));
    QCOMPARE(again.list({})->size(), 8);
    RecordsQuery byLot;
    byLot.lot = QStringLiteral("lot-0");
    QCOMPARE(again.list(byLot)->size(), 1);
}

void RecordsTest::recordsWaitInTheOutboxForALongMigration()
{
    if (onPostgreSql())
        QSKIP("the fixture is a records file");
    // A station of the new version meets a line's records that need a long migration: its
    // checkouts go to the outbox with the command to run, and once someone has run it they are
    // sent as any waiting record is.
    const QString path = m_folder.filePath(QStringLiteral("line-before-upgrade.sqlite"));
    QVERIFY(makeLongMigrationFile(QStringLiteral(VORN_TEST_RECORDS "/v3-records.sqlite"), path));
    const RecordsLocation location = *RecordsLocation::parse("sqlite:" + path, nullptr);
    QTemporaryDir station;
    const RecordsLocation outboxFile = *RecordsLocation::parse(
        QStringLiteral("sqlite:") + station.filePath(QStringLiteral("outbox.sqlite")), nullptr);
    RecordKeeper keeper(location, outboxFile);
    QString warnings;
    QTextStream warningStream(&warnings);
    const RecordKeeper::Kept kept = keeper.keep({sampleRecord(1), sampleRecord(2)}, warningStream);
    QCOMPARE(kept.stored, 0);
    QCOMPARE(kept.queued, 2);
    warningStream.flush();
    QVERIFY2(warnings.contains(QLatin1String("vornctl records migrate")), qPrintable(warnings));
    QCOMPARE(schemaVersionOf(path), 3);

    QList<int> stages;
    {
        RecordsStore store(location);
        store.database().allowLongMigration([&stages](const SchemaMigration::Progress &progress) {
            if (progress.stageMilliseconds)
                stages.append(progress.stage);
        });
        QVERIFY2(store.open(RecordsStore::OpenMode::ExistingOnly), qPrintable(store.errorText()));
    }
    QCOMPARE(stages, (QList<int>{1, 2, 3}));
    const RecordKeeper::Synced synced = keeper.sync();
    QVERIFY2(synced.ok(), qPrintable(synced.error));
    QCOMPARE(synced.sent, 2);
    QCOMPARE(synced.left, 0);
}

void RecordsTest::stepsOfKeptRecordsBecomeRows()
{
    if (onPostgreSql())
        QSKIP("the fixture is a records file");
    // Six checkouts of emulated readers as the schema before plans kept them.
    const QString path = m_folder.filePath(QStringLiteral("before-plans.sqlite"));
    QVERIFY(QFile::copy(QStringLiteral(VORN_TEST_RECORDS "/v3-records.sqlite"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    RecordsStore store(*RecordsLocation::parse("sqlite:" + path, nullptr));
    QVERIFY2(store.open(), qPrintable(store.errorText()));
    ReaderRecord planned = sampleRecord(5);
    planned.plan = {QStringLiteral("Vorn8-retail"), QStringLiteral("3"), QStringLiteral("1f2e")};
    QCOMPARE(store.store(planned), RecordsStore::Stored::Added);

    QSqlQuery steps(store.database().prepare(
        QStringLiteral("SELECT record_id, step, outcome, duration_ms, message FROM checkout_steps "
                       "ORDER BY record_id, step_index")));
    QVERIFY(store.database().exec(steps));
    QMap<QString, QStringList> rows; // by record: step outcome duration message
    while (steps.next())
        rows[steps.value(0).toString()].append(
            QStringLiteral("%1 %2 %3 %4")
                .arg(steps.value(1).toString(), steps.value(2).toString(),
                     steps.value(3).toString(), steps.value(4).toString()));
    const auto summaries = store.list({});
    QVERIFY(summaries);
    QCOMPARE(summaries->size(), 7);
    QStringList failed;
    for (const RecordSummary &summary : *summaries) {
        std::optional<ReaderRecord> record;
        QVERIFY(store.find(summary.id, record) && record);
        QStringList expected;
        for (const StepRecord &step : record->steps)
            expected.append(QStringLiteral("%1 %2 %3 %4")
                                .arg(step.name, outcomeName(step.outcome))
                                .arg(step.durationMs)
                                .arg(step.message));
        QCOMPARE(rows.value(summary.id), expected);
        QCOMPARE(summary.plan, summary.id == planned.id ? planned.plan.name : QString());
        failed += summary.failedSteps;
    }
    // The failing steps counted from the rows: the old records' and the new one's.
    QSqlQuery counted(store.database().prepare(
        QStringLiteral("SELECT step, sum(failures) FROM yield_steps WHERE dimension = '' "
                       "GROUP BY step ORDER BY step")));
    QVERIFY(store.database().exec(counted));
    QStringList counts;
    while (counted.next())
        counts.append(counted.value(0).toString() + QLatin1Char(' ') + counted.value(1).toString());
    QCOMPARE(counts, (QStringList{"clocks 2", "echo 1", "identify 1", "select-slot 1"}));
    failed.sort();
    QCOMPARE(failed, (QStringList{"clocks", "clocks", "echo", "identify", "select-slot"}));
}

void RecordsTest::readersMakeNothing_data()
{
    QTest::addColumn<RecordsStore::OpenMode>("mode");
    QTest::newRow("existing only") << RecordsStore::OpenMode::ExistingOnly;
    QTest::newRow("read only") << RecordsStore::OpenMode::ReadOnly;
}

void RecordsTest::readersMakeNothing()
{
    QFETCH(RecordsStore::OpenMode, mode);
    const RecordsLocation location = emptyLocation();
    RecordsStore store(location);
    QVERIFY(!store.open(mode));
    QVERIFY(store.isMissing());
    QCOMPARE(
        store.errorText(),
        QStringLiteral("no records at %1").arg(onPostgreSql() ? location.url() : location.path));
    if (onPostgreSql())
        QCOMPARE(tablesOf(location), QStringList{});
    else
        QVERIFY(!QFileInfo::exists(QFileInfo(location.path).absolutePath()));

    // A checkout makes it; then it reads.
    RecordsStore checkout(location);
    QVERIFY2(checkout.open(), qPrintable(checkout.errorText()));
    QCOMPARE(checkout.store(sampleRecord(1)), RecordsStore::Stored::Added);
    RecordsStore reader(location);
    QVERIFY2(reader.open(mode), qPrintable(reader.errorText()));
    QCOMPARE(reader.list({})->size(), 1);
}

void RecordsTest::readOnlyNeverWrites()
{
    const RecordsLocation location = freshLocation();
    {
        RecordsStore checkout(location);
        QVERIFY2(checkout.open(), qPrintable(checkout.errorText()));
        QCOMPARE(checkout.store(sampleRecord(1)), RecordsStore::Stored::Added);
    }
    RecordsStore reader(location);
    QVERIFY2(reader.open(RecordsStore::OpenMode::ReadOnly), qPrintable(reader.errorText()));
    std::optional<ReaderRecord> found;
    QVERIFY(reader.find(sampleRecord(1).id, found));
    QCOMPARE(*found, sampleRecord(1));
    QCOMPARE(reader.store(sampleRecord(2)), RecordsStore::Stored::Failed);

    RecordsStore again(location);
    QVERIFY(again.open());
    QCOMPARE(again.list({})->size(), 1);
}

void RecordsTest::olderSchema_data()
{
    QTest::addColumn<RecordsDatabase::OpenMode>("mode");
    QTest::addColumn<bool>("opens");
    QTest::newRow("existing only brings it up to date")
        << RecordsDatabase::OpenMode::ExistingOnly << true;
    QTest::newRow("read only refuses it") << RecordsDatabase::OpenMode::ReadOnly << false;
}

void RecordsTest::olderSchema()
{
    QFETCH(RecordsDatabase::OpenMode, mode);
    QFETCH(bool, opens);
    const RecordsDatabase::Migrations first{
        {QStringLiteral("CREATE TABLE IF NOT EXISTS first (id INTEGER PRIMARY KEY)")}};
    const RecordsDatabase::Migrations second =
        first + RecordsDatabase::Migrations{
                    {QStringLiteral("CREATE TABLE IF NOT EXISTS second (id INTEGER PRIMARY KEY)")}};
    const RecordsLocation location = freshLocation();
    {
        RecordsDatabase older(location);
        QVERIFY2(older.open(first), qPrintable(older.errorText()));
    }
    RecordsDatabase newer(location);
    QCOMPARE(newer.open(second, mode), opens);
    const QStringList tables = tablesOf(location);
    QCOMPARE(tables.contains(QStringLiteral("second")), opens);
    if (!opens) {
        QVERIFY2(
            newer.errorText().contains(QLatin1String("schema version 1, older than this "
                                                     "program reads (2); it was left as it is")),
            qPrintable(newer.errorText()));
        QVERIFY(!newer.isMissing());
    }
}

void RecordsTest::transactionIsWholeOrNothing_data()
{
    QTest::addColumn<QList<int>>("ids"); // inserted in this order
    QTest::addColumn<bool>("workSucceeds");
    QTest::addColumn<int>("rowsLeft");
    QTest::newRow("work done") << QList<int>{1, 2} << true << 2;
    QTest::newRow("work gives up after a row") << QList<int>{1, 2} << false << 0;
    QTest::newRow("second statement fails") << QList<int>{1, 1} << true << 0;
}

void RecordsTest::transactionIsWholeOrNothing()
{
    QFETCH(QList<int>, ids);
    QFETCH(bool, workSucceeds);
    QFETCH(int, rowsLeft);
    RecordsDatabase database(freshLocation());
    QVERIFY2(database.open({{QStringLiteral("CREATE TABLE IF NOT EXISTS rows "
                                            "(id INTEGER PRIMARY KEY)")}}),
             qPrintable(database.errorText()));
    const bool committed = database.transaction([&] {
        for (int id : ids) {
            QSqlQuery insert = database.prepare(QStringLiteral("INSERT INTO rows (id) VALUES (?)"));
            insert.addBindValue(id);
            if (!database.exec(insert))
                return false;
        }
        return workSucceeds;
    });
    QCOMPARE(committed, rowsLeft > 0);
    QSqlQuery count = database.prepare(QStringLiteral("SELECT count(*) FROM rows"));
    QVERIFY(database.exec(count) && count.next());
    QCOMPARE(count.value(0).toInt(), rowsLeft);
}

void RecordsTest::rejectedRecordWaitsInTheOutbox()
{
    // The database opens, then refuses one record: that one waits in the outbox (an SQLite
    // file on the station whatever the database), the others are stored.
    const RecordsLocation location = freshLocation();
    {
        RecordsStore made(location);
        QVERIFY(made.open());
    }
    if (onPostgreSql())
        runOn(location,
              {QStringLiteral("CREATE FUNCTION reject() RETURNS trigger AS $$ BEGIN "
                              "IF NEW.id = 'bad-id' THEN RAISE EXCEPTION 'rejected'; END IF; "
                              "RETURN NEW; END $$ LANGUAGE plpgsql"),
               QStringLiteral("CREATE TRIGGER reject BEFORE INSERT ON checkouts FOR EACH ROW "
                              "EXECUTE FUNCTION reject()")});
    else
        runOn(location, {QStringLiteral("CREATE TRIGGER reject BEFORE INSERT ON checkouts "
                                        "WHEN NEW.id = 'bad-id' "
                                        "BEGIN SELECT RAISE(ABORT, 'rejected'); END")});
    ReaderRecord bad = sampleRecord(2);
    bad.id = QStringLiteral("bad-id");

    {
        RecordsStore store(location);
        QVERIFY(store.open());
        QCOMPARE(store.store(bad), RecordsStore::Stored::Failed);
        QVERIFY2(store.errorText().contains(QLatin1String("rejected")),
                 qPrintable(store.errorText()));
        QCOMPARE(store.list({})->size(), 0);
    }

    QTemporaryDir station;
    const RecordsLocation outboxFile = *RecordsLocation::parse(
        QStringLiteral("sqlite:") + station.filePath(QStringLiteral("outbox.sqlite")), nullptr);
    RecordKeeper keeper(location, outboxFile);
    QString warnings;
    QTextStream warningStream(&warnings);
    const RecordKeeper::Kept kept = keeper.keep({sampleRecord(1), bad}, warningStream);
    QCOMPARE(kept.stored, 1);
    QCOMPARE(kept.queued, 1);
    QCOMPARE(kept.lost, 0);
    QVERIFY2(warnings.contains(QLatin1String("rejected")), qPrintable(warnings));
    {
        RecordsOutbox outbox(outboxFile);
        QVERIFY(outbox.open(RecordsDatabase::OpenMode::ExistingOnly));
        const auto waiting = outbox.waiting(location.url());
        QVERIFY(waiting);
        QCOMPARE(waiting->size(), 1);
        QCOMPARE(waiting->first(), bad);
    }

    // Refused again while the trigger stands: it stays in the outbox.
    RecordKeeper::Synced synced = keeper.sync();
    QVERIFY(!synced.ok());
    QCOMPARE(synced.left, 1);

    runOn(location, {QStringLiteral("DROP TRIGGER reject%1")
                         .arg(onPostgreSql() ? QStringLiteral(" ON checkouts") : QString())});
    synced = keeper.sync();
    QVERIFY2(synced.ok(), qPrintable(synced.error));
    QCOMPARE(synced.sent, 1);
    QCOMPARE(synced.left, 0);
    RecordsStore store(location);
    QVERIFY(store.open());
    std::optional<ReaderRecord> found;
    QVERIFY(store.find(bad.id, found));
    QCOMPARE(*found, bad);
    QCOMPARE(store.list({})->size(), 2);
}

void RecordsTest::threadsShareOneConnection()
{
    if (!onPostgreSql())
        QSKIP("a server's connections; a file has none");
    // A station's readers keep their records at once, as a user the server lets in once at a
    // time: each record must go through the process's one connection.
    runOnServer(QStringLiteral("DO $$ BEGIN CREATE ROLE station LOGIN CONNECTION LIMIT 1; "
                               "EXCEPTION WHEN duplicate_object THEN NULL; END $$"));
    RecordsLocation location = freshLocation(QStringLiteral("station"));
    location.user = QStringLiteral("station");
    QTemporaryDir station;
    const RecordsLocation outboxFile = *RecordsLocation::parse(
        QStringLiteral("sqlite:") + station.filePath(QStringLiteral("outbox.sqlite")), nullptr);
    constexpr int Readers = 8;
    constexpr int Records = 10;
    std::array<RecordKeeper::Kept, Readers> kept{};
    std::array<QString, Readers> warnings;
    std::vector<std::thread> readers;
    for (int reader = 0; reader < Readers; ++reader) {
        readers.emplace_back([&, reader] {
            QTextStream stream(&warnings[std::size_t(reader)]);
            for (int n = 0; n < Records; ++n) {
                const RecordKeeper::Kept one =
                    RecordKeeper(location, outboxFile)
                        .keep({sampleRecord(reader * Records + n)}, stream);
                kept[std::size_t(reader)].stored += one.stored;
            }
        });
    }
    for (std::thread &reader : readers)
        reader.join();
    for (int reader = 0; reader < Readers; ++reader) {
        QVERIFY2(warnings[std::size_t(reader)].isEmpty(),
                 qPrintable(warnings[std::size_t(reader)]));
        QCOMPARE(kept[std::size_t(reader)].stored, Records);
    }
    QVERIFY(!QFileInfo::exists(outboxFile.path));
}

void RecordsTest::serverRestartedBetweenRecords()
{
    if (!onPostgreSql())
        QSKIP("a server that restarts");
    // The connection a station keeps open between its records is gone after a restart; the
    // next record goes through a new one instead of waiting in the outbox.
    const RecordsLocation location = freshLocation();
    QTemporaryDir station;
    const RecordsLocation outboxFile = *RecordsLocation::parse(
        QStringLiteral("sqlite:") + station.filePath(QStringLiteral("outbox.sqlite")), nullptr);
    RecordKeeper keeper(location, outboxFile);
    QString warnings;
    QTextStream warningStream(&warnings);
    QCOMPARE(keeper.keep({sampleRecord(1)}, warningStream).stored, 1);
    cluster(QStringLiteral("stop"));
    cluster(QStringLiteral("start"));
    const RecordKeeper::Kept kept = keeper.keep({sampleRecord(2)}, warningStream);
    QCOMPARE(kept.stored, 1);
    QCOMPARE(kept.queued, 0);
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings));
}

void RecordsTest::retestLimitCountsEveryStationUntilARepair()
{
    // SN 001005 passed, then failed its clocks at station-2 and then at station-1, all keeping
    // their records in this database; the checkout between them at station-0 never identified.
    const RecordsLocation location = freshLocation();
    RecordsStore store(location);
    QVERIFY2(store.open(), qPrintable(store.errorText()));
    ReaderRecord passed = sampleRecord(4);
    passed.serialNumber = 1005;
    for (const ReaderRecord &record :
         {sampleRecord(1), passed, sampleRecord(5), sampleRecord(105), sampleRecord(205)})
        QCOMPARE(store.store(record), RecordsStore::Stored::Added);
    QStringList warnings;
    RecordsRetestGate gate(location, [&warnings](const QString &text) { warnings.append(text); });
    const RetestGate::Answer twice = gate.ask(1005, 2);
    QVERIFY(twice.checked);
    QCOMPARE(twice.refusal, QStringLiteral("SN 001005 failed 2 times since its last repair: "
                                           "repair it first (vornctl records repair 1005 ...)"));
    QVERIFY(gate.ask(1005, 3).refusal.isEmpty());

    // A repair must answer a checkout of its reader that did not pass; then the limit is lifted.
    const QStringList repair{"--records", location.url(), "records",  "repair",     "1005",
                             "--symptom", "clocks stuck", "--action", "reseated X2"};
    QCOMPARE(VornctlRun::of(repair + QStringList{"--checkout", "record-000001"}).exitCode, 2);
    QCOMPARE(VornctlRun::of(repair + QStringList{"--checkout", "record-000004"}).exitCode, 2);
    const VornctlRun repaired = VornctlRun::of(repair);
    QVERIFY2(repaired.exitCode == 0 && repaired.out.contains(QLatin1String("record-000205")),
             qPrintable(repaired.out + repaired.err));
    const RetestGate::Answer afterRepair = gate.ask(1005, 1);
    QVERIFY(afterRepair.checked && afterRepair.refusal.isEmpty());
    QVERIFY(warnings.isEmpty());
    // The report counts the repair, and the pass after it but not the one before.
    ReportQuery query;
    query.from = passed.started.addDays(-1);
    query.to = QDateTime::currentDateTimeUtc().addDays(1);
    const auto repairFigures = [&] {
        const std::optional<ReportFigures> figures = YieldReport(store).run(query);
        return figures ? QList<qint64>{figures->repairs, figures->repairedReaders,
                                       figures->passedAfterRepair, figures->causes.size()}
                       : QList<qint64>{};
    };
    QCOMPARE(repairFigures(), (QList<qint64>{1, 1, 0, 1}));
    ReaderRecord retest = passed;
    retest.id = QStringLiteral("retest");
    retest.started = QDateTime::currentDateTimeUtc().addSecs(60);
    QCOMPARE(store.store(retest), RecordsStore::Stored::Added);
    QCOMPARE(repairFigures(), (QList<qint64>{1, 1, 1, 1}));
    // A retest that failed again, no repair answering it yet, is shown with the repair it
    // retested, as a pass is.
    ReaderRecord again = sampleRecord(205);
    again.id = QStringLiteral("failed-again");
    again.started = retest.started.addSecs(-30);
    QCOMPARE(store.store(again), RecordsStore::Stored::Added);
    const VornctlRun shown =
        VornctlRun::of(QStringList{"--records", location.url(), "records", "show", again.id});
    QVERIFY2(shown.out.contains(QLatin1String("Repair before this checkout: repaired ")) &&
                 shown.out.contains(QLatin1String("reseated X2")),
             qPrintable(shown.out + shown.err));

    if (!onPostgreSql())
        return;
    // With the server away the reader is checked, unchecked, and the station warned once.
    cluster(QStringLiteral("stop"));
    for (int reader : {1005, 1010}) {
        const RetestGate::Answer away = gate.ask(reader, 1);
        QVERIFY(!away.checked && away.refusal.isEmpty());
    }
    cluster(QStringLiteral("start"));
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(QLatin1String("retest limit cannot be checked")),
             qPrintable(warnings.first()));
}

void RecordsTest::failedStoreLeavesTheFiguresAsTheyWere_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("refused"); // the rows refused
    QTest::newRow("measurements") << "measurements"
                                  << "NEW.record_id = 'bad-id'";
    for (const char *table :
         {"yield_hours", "yield_steps", "yield_durations", "yield_chains", "yield_firsts"})
        QTest::newRow(table) << table << "1 = 1";
}

// A record refused part-way through its transaction (at its measurements, after its checkout
// row, or at any of the yield summaries in the same transaction) leaves nothing of itself: no
// row, no measurement, and the report's figures, read from the summaries, as they were.
void RecordsTest::failedStoreLeavesTheFiguresAsTheyWere()
{
    QFETCH(QString, table);
    QFETCH(QString, refused);
    const RecordsLocation location = freshLocation();
    RecordsStore store(location);
    QVERIFY2(store.open(), qPrintable(store.errorText()));
    QCOMPARE(store.store(sampleRecord(1)), RecordsStore::Stored::Added);
    // Inserted or counted up: a summary row of the same hour is updated, not inserted.
    for (const QString &change : {QStringLiteral("INSERT"), QStringLiteral("UPDATE")}) {
        const QString name = QStringLiteral("reject_") + change;
        if (onPostgreSql())
            runOn(location, {QStringLiteral("CREATE FUNCTION %1() RETURNS trigger AS $$ BEGIN "
                                            "IF %2 THEN RAISE EXCEPTION 'rejected'; "
                                            "END IF; RETURN NEW; END $$ LANGUAGE plpgsql")
                                 .arg(name, refused),
                             QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 FOR EACH ROW "
                                            "EXECUTE FUNCTION %1()")
                                 .arg(name, change, table)});
        else
            runOn(location, {QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 WHEN %4 "
                                            "BEGIN SELECT RAISE(ABORT, 'rejected'); END")
                                 .arg(name, change, table, refused)});
    }
    ReportQuery day;
    day.from = QDateTime(QDate(2026, 12, 7), QTime(0, 0), QTimeZone::utc());
    day.to = day.from.addDays(1);
    const std::optional<ReportFigures> before = YieldReport(store).run(day);
    QVERIFY(before);

    ReaderRecord bad = sampleRecord(5); // a failing reader: counts, summaries and a Pareto entry
    bad.id = QStringLiteral("bad-id");
    QCOMPARE(store.store(bad), RecordsStore::Stored::Failed);
    QVERIFY2(store.errorText().contains(QLatin1String("rejected")), qPrintable(store.errorText()));

    QCOMPARE(store.list({})->size(), 1);
    std::optional<ReaderRecord> found;
    QVERIFY(store.find(bad.id, found));
    QVERIFY(!found);
    const std::optional<ReportFigures> after = YieldReport(store).run(day);
    QVERIFY(after);
    QCOMPARE(after->toJson(), before->toJson());
    QCOMPARE(after->checkouts, qint64(1));
}

namespace {

// How often the file was changed by other connections, as one connection kept open sees it.
class ChangeWatch
{
public:
    ChangeWatch(const QString &path, const QString &name) : m_name(name)
    {
        m_database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        m_database.setDatabaseName(path);
        m_database.open();
    }
    ~ChangeWatch()
    {
        m_database.close();
        m_database = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    ChangeWatch(const ChangeWatch &) = delete;
    ChangeWatch &operator=(const ChangeWatch &) = delete;

    qint64 changes()
    {
        QSqlQuery query(m_database);
        return query.exec(QStringLiteral("PRAGMA data_version")) && query.next()
                   ? query.value(0).toLongLong()
                   : -1;
    }
    qint64 number(const QString &statement)
    {
        QSqlQuery query(m_database);
        return query.exec(statement) && query.next() ? query.value(0).toLongLong() : -1;
    }

private:
    QString m_name;
    QSqlDatabase m_database;
};

} // namespace

// A file of many checkouts gets statistics of its indexes from the first writer that meets it
// without them (SQLite's choice of index depends on them); later opens, and every open of an
// outbox, write nothing: a write at each open or close made a line's stores wait on each other.
void RecordsTest::sqliteStatisticsTakenOnceNeverOnAnOutbox()
{
    if (onPostgreSql())
        QSKIP("SQLite's own statistics");
    const RecordsLocation location = freshLocation();
    {
        RecordsStore store(location);
        QVERIFY(store.open());
        QCOMPARE(store.store(sampleRecord(1)), RecordsStore::Stored::Added);
    }
    // 12,000 copies of that checkout, made by SQL: a file of many checkouts without statistics.
    {
        ChangeWatch file(location.path, QStringLiteral("small"));
        QCOMPARE(file.number(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = "
                                            "'sqlite_stat1'")),
                 0);
    }
    runOn(location,
          {QStringLiteral("CREATE TEMPORARY TABLE n AS WITH RECURSIVE c(i) AS (SELECT 1 "
                          "UNION ALL SELECT i + 1 FROM c WHERE i < 12000) SELECT i FROM c"),
           QStringLiteral("CREATE TEMPORARY TABLE copies AS SELECT * FROM checkouts, n"),
           QStringLiteral("UPDATE copies SET id = id || '-' || i, chain_position = NULL"),
           QStringLiteral("ALTER TABLE copies DROP COLUMN i"),
           QStringLiteral("INSERT INTO checkouts SELECT * FROM copies")});
    ChangeWatch file(location.path, QStringLiteral("records"));
    QVERIFY(file.number(QStringLiteral("SELECT count(*) FROM checkouts")) > 12'000);
    {
        RecordsStore store(location);
        QVERIFY2(store.open(), qPrintable(store.errorText()));
    }
    QVERIFY(file.number(QStringLiteral("SELECT count(*) FROM sqlite_stat1 WHERE tbl = "
                                       "'checkouts'")) > 0);
    const qint64 kept = file.changes();
    for (int open = 0; open < 2; ++open) {
        RecordsStore store(location);
        QVERIFY2(store.open(), qPrintable(store.errorText()));
    }
    QCOMPARE(file.changes(), kept);

    const QString outboxPath = m_folder.filePath(QStringLiteral("statistics-outbox.sqlite"));
    const RecordsLocation outboxLocation =
        *RecordsLocation::parse(QStringLiteral("sqlite:") + outboxPath, nullptr);
    {
        RecordsOutbox outbox(outboxLocation);
        QVERIFY(outbox.open());
    }
    ChangeWatch outboxFile(outboxPath, QStringLiteral("outbox"));
    const qint64 made = outboxFile.changes();
    for (int open = 0; open < 3; ++open) {
        RecordsOutbox outbox(outboxLocation);
        QVERIFY(outbox.open(RecordsDatabase::OpenMode::ExistingOnly));
    }
    QCOMPARE(outboxFile.changes(), made);
}

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_records.moc"
