#include "checkout/repairrecord.h"
#include "records/samplerecords.h"
#include "records/testdatabase.h"
#include "store/readerlife.h"
#include "store/recordsretestgate.h"
#include "store/recordsroles.h"
#include "store/recordsstore.h"
#include "yield/yieldreport.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

// The records' roles on a private PostgreSQL server (tests/records/postgres_cluster.sh): a
// station's login keeps checkouts and their summaries but cannot change or remove a kept one;
// a technician's also keeps repairs; a reader's only reads. Skipped without a server.
class RecordsRolesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stationCannotChangeKeptRecords_data();
    void stationCannotChangeKeptRecords();
    void eachRoleDoesItsWork();

private:
    RecordsLocation as(const QString &login) const;
    // Runs statement as login; the server's error, or empty when it was done.
    QString runAs(const QString &login, const QString &statement);

    TestDatabases m_databases;
    RecordsLocation m_owner;
    QString m_failedId;
};

void RecordsRolesTest::initTestCase()
{
    if (!m_databases.onPostgreSql())
        QSKIP("roles are a PostgreSQL server's (run through tests/records/postgres_cluster.sh)");
    QString error;
    m_owner = m_databases.fresh(&error);
    QVERIFY2(!m_owner.isNone(), qPrintable(error));
    RecordsStore store(m_owner);
    QVERIFY(store.open());
    ReaderRecord failed = sampleRecord(5); // its clocks failed
    m_failedId = failed.id;
    QCOMPARE(store.store(failed), RecordsStore::Stored::Added);
    QVERIFY2(RecordsRoles::setUp(store.database()), qPrintable(store.errorText()));
    // Twice: a line that runs it again after an upgrade meets the roles made already.
    QVERIFY2(RecordsRoles::setUp(store.database()), qPrintable(store.errorText()));
    for (const auto &[login, role] :
         {std::pair{"station_a", "vorn_station"}, std::pair{"technician_a", "vorn_technician"},
          std::pair{"dashboard_a", "vorn_reader"}})
        QCOMPARE(runAs(QStringLiteral("postgres"),
                       QStringLiteral("DO $$ BEGIN CREATE ROLE %1 LOGIN IN ROLE %2; EXCEPTION WHEN "
                                      "duplicate_object THEN NULL; END $$")
                           .arg(QLatin1String(login), QLatin1String(role))),
                 QString());
}

RecordsLocation RecordsRolesTest::as(const QString &login) const
{
    RecordsLocation location = m_owner;
    location.user = login;
    return location;
}

QString RecordsRolesTest::runAs(const QString &login, const QString &statement)
{
    QString error;
    {
        QSqlDatabase database =
            QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("as"));
        database.setHostName(m_owner.host);
        database.setPort(m_owner.port);
        database.setUserName(login);
        database.setDatabaseName(m_owner.database);
        QSqlQuery query(database);
        if (!database.open())
            error = database.lastError().text();
        else if (!query.exec(statement))
            error = query.lastError().databaseText();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("as"));
    return error;
}

void RecordsRolesTest::stationCannotChangeKeptRecords_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("statement");
    for (const char *login : {"station_a", "technician_a", "dashboard_a"}) {
        for (const char *statement :
             {"UPDATE checkouts SET outcome = 'pass'", "DELETE FROM checkouts",
              "UPDATE measurements SET value_number = 8", "DELETE FROM measurements",
              "UPDATE checkout_steps SET outcome = 'pass'", "DELETE FROM checkout_steps",
              "UPDATE repairs SET action = 'none'", "DELETE FROM repairs",
              "DELETE FROM yield_hours", "DROP TABLE checkouts"})
            QTest::addRow("%s: %s", login, statement) << login << statement;
    }
}

void RecordsRolesTest::stationCannotChangeKeptRecords()
{
    QFETCH(QString, login);
    QFETCH(QString, statement);
    const QString error = runAs(login, statement);
    QVERIFY2(error.contains(QLatin1String("permission denied")) ||
                 error.contains(QLatin1String("must be owner")),
             qPrintable(error));
}

void RecordsRolesTest::eachRoleDoesItsWork()
{
    // A station keeps a checkout, counted in the summaries, and asks the retest gate.
    RecordsStore station(as(QStringLiteral("station_a")));
    QVERIFY2(station.open(), qPrintable(station.errorText()));
    ReaderRecord retest = sampleRecord(6);
    retest.serialNumber = sampleRecord(5).serialNumber;
    QCOMPARE(ReaderLife(station).failuresSinceRepair(*retest.serialNumber, 3).value_or(-1), 1);
    QCOMPARE(station.store(retest), RecordsStore::Stored::Added);
    QCOMPARE(station.store(retest), RecordsStore::Stored::AlreadyThere);
    RepairRecord repair;
    repair.id = QStringLiteral("repair-1");
    repair.serialNumber = *retest.serialNumber;
    repair.checkoutId = m_failedId;
    repair.repaired = retest.started;
    repair.symptom = QStringLiteral("clocks");
    repair.action = QStringLiteral("crystal replaced");
    QVERIFY(!ReaderLife(station).store(repair)); // repairs are a technician's

    // A technician keeps the repair.
    RecordsStore technician(as(QStringLiteral("technician_a")));
    QVERIFY2(technician.open(), qPrintable(technician.errorText()));
    QVERIFY2(ReaderLife(technician).store(repair), qPrintable(technician.errorText()));

    // A reader reads the records and the figures, and keeps nothing.
    RecordsStore reader(as(QStringLiteral("dashboard_a")));
    QVERIFY2(reader.open(RecordsStore::OpenMode::ReadOnly), qPrintable(reader.errorText()));
    QCOMPARE(reader.list({}).value_or(QList<RecordSummary>()).size(), 2);
    ReportQuery query;
    query.from = retest.started.addDays(-1);
    query.to = retest.started.addDays(1);
    YieldReport report(reader);
    const std::optional<ReportFigures> figures = report.run(query);
    QVERIFY2(figures, qPrintable(report.errorText()));
    QCOMPARE(figures->checkouts, 2); // counted in the summaries by the station's own store
    QCOMPARE(reader.store(sampleRecord(7)), RecordsStore::Stored::Failed);
}

QTEST_GUILESS_MAIN(RecordsRolesTest)
#include "tst_recordsroles.moc"
