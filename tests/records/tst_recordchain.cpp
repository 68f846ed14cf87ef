#include "records/samplerecords.h"
#include "records/testdatabase.h"
#include "records/vornctlrun.h"
#include "store/chainverifier.h"
#include "store/recordsstore.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

// The stations' chains of kept checkouts as an auditor meets them: records changed, removed or
// put in by SQL behind the program's back, named by `vornctl records verify`; records kept
// before chaining; the heads kept elsewhere; the hash printed on a certificate. On an SQLite
// file, and on PostgreSQL when VORN_TEST_POSTGRES_URL names a server.
class RecordChainTest : public QObject
{
    Q_OBJECT

private slots:
    void tamperingIsNamed_data();
    void tamperingIsNamed();
    void recordsBeforeChainingAreNotTampering();
    void anchoredHeadsShowACutOffEnd();
    void aReadFailingPartWayIsNoPass_data();
    void aReadFailingPartWayIsNoPass();
    void certificateHash_data();
    void certificateHash();

private:
    // A new database with count checkouts of station-0 and two of station-1, kept by the
    // store; the ids of station-0's, in the order kept.
    QStringList keep(RecordsLocation &location, int count);
    void runOn(const RecordsLocation &location, const QStringList &statements);
    VornctlRun vornctl(const RecordsLocation &location, const QStringList &arguments);

    TestDatabases m_databases;
};

QStringList RecordChainTest::keep(RecordsLocation &location, int count)
{
    QString error;
    location = m_databases.fresh(&error);
    if (location.isNone())
        return {};
    RecordsStore store(location);
    if (!store.open())
        return {};
    QStringList ids;
    for (int n = 0; n < count + 2; ++n) {
        ReaderRecord record = sampleRecord(n);
        record.station = n < count ? QStringLiteral("station-0") : QStringLiteral("station-1");
        // A name beyond ASCII: its bytes are hashed as kept, not as another encoding gives them.
        if (n == 1)
            record.operatorName = QStringLiteral("J\u00fcrgen Wei\u00df");
        if (store.store(record) != RecordsStore::Stored::Added)
            return {};
        if (n < count)
            ids.append(record.id);
    }
    return ids;
}

void RecordChainTest::runOn(const RecordsLocation &location, const QStringList &statements)
{
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(
            m_databases.onPostgreSql() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
            QStringLiteral("behind"));
        database.setHostName(location.host);
        database.setPort(location.port);
        database.setUserName(location.user);
        database.setDatabaseName(m_databases.onPostgreSql() ? location.database : location.path);
        QVERIFY2(database.open(), qPrintable(database.lastError().text()));
        for (const QString &statement : statements) {
            QSqlQuery query(database);
            QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("behind"));
}

VornctlRun RecordChainTest::vornctl(const RecordsLocation &location, const QStringList &arguments)
{
    return VornctlRun::of(QStringList{QStringLiteral("--records"), location.url(),
                                      QStringLiteral("records"), QStringLiteral("verify")} +
                          arguments);
}

void RecordChainTest::tamperingIsNamed_data()
{
    // Statements run behind the program's back; %1 to %5 are station-0's ids in order.
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("named"); // what the report must name

    QTest::newRow("nothing changed") << QStringList() << 0 << QStringList{"no record changed"};
    QTest::newRow("a value in the record edited")
        << QStringList{"UPDATE checkouts SET record = REPLACE(record, '\"time_setting_s\"', "
                       "'\"time_setting_x\"') WHERE id = '%3'"}
        << 1 << QStringList{"%3", "changed"};
    QTest::newRow("a fact column edited")
        << QStringList{"UPDATE checkouts SET outcome = 'pass' WHERE id = '%1'"} << 1
        << QStringList{"%1", "changed"};
    QTest::newRow("its hash replaced by another record's")
        << QStringList{"UPDATE checkouts SET chain_hash = (SELECT chain_hash FROM checkouts "
                       "WHERE id = '%1') WHERE id = '%2'"}
        << 1 << QStringList{"%2 (station-0, place 2)"};
    QTest::newRow("a record removed")
        << QStringList{"DELETE FROM measurements WHERE record_id = '%3'",
                       "DELETE FROM checkout_steps WHERE record_id = '%3'",
                       "DELETE FROM checkouts WHERE id = '%3'"}
        << 1 << QStringList{"1 record(s) removed from station-0's chain before %4"};
    QTest::newRow("the first record removed")
        << QStringList{"DELETE FROM measurements WHERE record_id = '%1'",
                       "DELETE FROM checkout_steps WHERE record_id = '%1'",
                       "DELETE FROM checkouts WHERE id = '%1'"}
        << 1 << QStringList{"removed from station-0's chain before %2"};
    QTest::newRow("a record put in without a place")
        << QStringList{"INSERT INTO checkouts (id, started, station, port, model, serial, "
                       "outcome, failed_steps, duration_ms, record) SELECT 'forged', started, "
                       "station, port, model, serial, outcome, failed_steps, duration_ms, record "
                       "FROM checkouts WHERE id = '%4'"}
        << 1 << QStringList{"forged (station-0) has no place"};
    QTest::newRow("a record moved to the place of one removed")
        << QStringList{"DELETE FROM measurements WHERE record_id = '%2'",
                       "DELETE FROM checkout_steps WHERE record_id = '%2'",
                       "DELETE FROM checkouts WHERE id = '%2'",
                       "UPDATE checkouts SET chain_position = 2 WHERE id = '%3'"}
        << 1 << QStringList{"%3 (station-0, place 2) does not follow %1"};
}

void RecordChainTest::tamperingIsNamed()
{
    QFETCH(QStringList, statements);
    QFETCH(int, exitCode);
    QFETCH(QStringList, named);
    RecordsLocation location;
    const QStringList ids = keep(location, 5);
    QCOMPARE(ids.size(), 5);
    const auto withIds = [&ids](QString text) {
        for (qsizetype index = ids.size(); index > 0; --index)
            text.replace(QStringLiteral("%%1").arg(index), ids.at(index - 1));
        return text;
    };
    QStringList filled;
    for (const QString &statement : std::as_const(statements))
        filled.append(withIds(statement));
    runOn(location, filled);

    const VornctlRun run = vornctl(location, {});
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));
    for (const QString &words : std::as_const(named))
        QVERIFY2(run.out.contains(withIds(words)), qPrintable(run.out));
    // The other station's chain is its own: none of it is named.
    QVERIFY2(!run.out.contains(QLatin1String("station-1")), qPrintable(run.out));
}

void RecordChainTest::recordsBeforeChainingAreNotTampering()
{
    // Two records kept by a program that did not chain, then two by one that does.
    QString error;
    const RecordsLocation location = m_databases.fresh(&error);
    QVERIFY2(!location.isNone(), qPrintable(error));
    RecordsStore store(location);
    QVERIFY(store.open());
    for (int n = 0; n < 4; ++n) {
        if (n == 2)
            runOn(location, {QStringLiteral("UPDATE checkouts SET chain_position = NULL, "
                                            "chain_previous = NULL, chain_hash = NULL")});
        ReaderRecord record = sampleRecord(n);
        record.station = QStringLiteral("station-0");
        QCOMPARE(store.store(record), RecordsStore::Stored::Added);
    }
    const VornctlRun run = vornctl(location, {});
    QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
    QVERIFY2(run.out.contains(QLatin1String("2 chained records checked, 2 kept before chaining")),
             qPrintable(run.out));
}

void RecordChainTest::anchoredHeadsShowACutOffEnd()
{
    RecordsLocation location;
    const QStringList ids = keep(location, 3);
    QCOMPARE(ids.size(), 3);
    const VornctlRun heads = vornctl(location, {QStringLiteral("--heads")});
    QCOMPARE(heads.exitCode, 0);
    QVERIFY2(heads.out.startsWith(QStringLiteral("station-0\t3\t%1\t").arg(ids.at(2))),
             qPrintable(heads.out));
    const QString kept =
        m_databases.folder().filePath(QStringLiteral("heads-%1.txt").arg(ids.at(0)));
    QFile file(kept);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(heads.out.toUtf8());
    file.close();
    QCOMPARE(vornctl(location, {QStringLiteral("--anchor"), kept}).exitCode, 0);

    // The newest record cut off: the chain alone still holds together, the kept head does not.
    runOn(location,
          {QStringLiteral("DELETE FROM measurements WHERE record_id = '%1'").arg(ids.at(2)),
           QStringLiteral("DELETE FROM checkout_steps WHERE record_id = '%1'").arg(ids.at(2)),
           QStringLiteral("DELETE FROM checkouts WHERE id = '%1'").arg(ids.at(2))});
    QCOMPARE(vornctl(location, {}).exitCode, 0);
    const VornctlRun anchored = vornctl(location, {QStringLiteral("--anchor"), kept});
    QCOMPARE(anchored.exitCode, 1);
    QVERIFY2(anchored.out.contains(QStringLiteral("the head kept for station-0")) &&
                 anchored.out.contains(ids.at(2)),
             qPrintable(anchored.out));
}

void RecordChainTest::aReadFailingPartWayIsNoPass_data()
{
    QTest::addColumn<bool>("oneRecord");
    QTest::addColumn<QStringList>("command"); // of vornctl's records
    QTest::newRow("the chains walked") << false << QStringList{"verify"};
    QTest::newRow("a record's hash asked for") << true << QStringList();
    // Newest first through the index of times: the rows after the spoilt page's are not read.
    QTest::newRow("the records listed") << false << QStringList{"list"};
}

void RecordChainTest::aReadFailingPartWayIsNoPass()
{
    QFETCH(bool, oneRecord);
    if (m_databases.onPostgreSql())
        QSKIP("a page of the file spoilt under the walk: an SQLite file's fault");
    RecordsLocation location;
    QCOMPARE(keep(location, 40).size(), 40);
    // The table's pages that hold the records, in the order the chain reads them; the walk
    // reads those before the spoilt one, then meets it.
    QList<qint64> leaves;
    qint64 pageSize = 0;
    {
        QSqlDatabase database =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("pages"));
        database.setDatabaseName(location.path);
        QVERIFY(database.open());
        QSqlQuery query(QStringLiteral("SELECT pageno FROM dbstat WHERE name = 'checkouts' AND "
                                       "pagetype = 'leaf' ORDER BY path"),
                        database);
        QVERIFY2(query.isActive(), qPrintable(query.lastError().text()));
        while (query.next())
            leaves.append(query.value(0).toLongLong());
        QVERIFY(query.exec(QStringLiteral("PRAGMA page_size")) && query.next());
        pageSize = query.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("pages"));
    QVERIFY2(leaves.size() >= 3, qPrintable(QString::number(leaves.size())));
    QFile file(location.path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek((leaves.at(leaves.size() / 2) - 1) * pageSize));
    // A record kept on the page, by the id its row begins with.
    const QByteArray page = file.read(pageSize);
    const qsizetype at = page.indexOf("record-0000");
    QVERIFY(at >= 0);
    const QString onPage = QString::fromLatin1(page.mid(at, 13));
    QVERIFY(file.seek((leaves.at(leaves.size() / 2) - 1) * pageSize));
    file.write(QByteArray(pageSize, '\0'));
    file.close();

    if (oneRecord) {
        // As the hash of a certificate is checked: the record read alone, by its id.
        RecordsStore store(location);
        QVERIFY(store.open(RecordsStore::OpenMode::ReadOnly));
        ChainVerifier verifier(store.database());
        const auto answer = verifier.checkHash(onPage, QString(64, QLatin1Char('0')));
        QVERIFY2(!answer, qPrintable(onPage));
        QVERIFY2(verifier.errorText().contains(QLatin1String("malformed")),
                 qPrintable(verifier.errorText()));
        return;
    }
    QFETCH(QStringList, command);
    const VornctlRun run = VornctlRun::of(
        QStringList{QStringLiteral("--records"), location.url(), QStringLiteral("records")} +
        command);
    QVERIFY2(run.exitCode == 3, qPrintable(run.out + run.err));
    QVERIFY2(run.err.contains(QLatin1String("malformed")), qPrintable(run.err));
    QVERIFY2(run.out.isEmpty(), qPrintable(run.out));
}

void RecordChainTest::certificateHash_data()
{
    QTest::addColumn<bool>("theKeptHash");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("answer");

    QTest::newRow("the kept hash") << true << QString() << 0 << "the hash is the kept record's";
    QTest::newRow("another hash") << false << QString() << 1 << "kept with another hash";
    QTest::newRow("the kept hash of a changed record")
        << true << "UPDATE checkouts SET lot = 'lot-9' WHERE id = '%1'" << 1
        << "no longer gives it";
    QTest::newRow("a record kept before chaining")
        << true << "UPDATE checkouts SET chain_hash = NULL, chain_position = NULL WHERE id = '%1'"
        << 1 << "kept before chaining";
}

void RecordChainTest::certificateHash()
{
    QFETCH(bool, theKeptHash);
    QFETCH(QString, change);
    QFETCH(int, exitCode);
    QFETCH(QString, answer);
    RecordsLocation location;
    const QStringList ids = keep(location, 2);
    QCOMPARE(ids.size(), 2);
    QString hash;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(
            m_databases.onPostgreSql() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
            QStringLiteral("hash"));
        database.setHostName(location.host);
        database.setPort(location.port);
        database.setUserName(location.user);
        database.setDatabaseName(m_databases.onPostgreSql() ? location.database : location.path);
        QVERIFY(database.open());
        QSqlQuery query(database);
        QVERIFY(query.exec(QStringLiteral("SELECT chain_hash FROM checkouts WHERE id = '%1'")
                               .arg(ids.at(theKeptHash ? 1 : 0))));
        QVERIFY(query.next());
        hash = query.value(0).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("hash"));
    QCOMPARE(hash.size(), 64);
    if (!change.isEmpty())
        runOn(location, {change.arg(ids.at(1))});
    const VornctlRun run = vornctl(location, {ids.at(1), QStringLiteral("--hash"), hash});
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));
    QVERIFY2(run.out.contains(answer), qPrintable(run.out));
}

QTEST_GUILESS_MAIN(RecordChainTest)
#include "tst_recordchain.moc"
