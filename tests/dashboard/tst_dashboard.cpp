#include "dashboard/dashboardprocess.h"
#include "dashboard/httpexchange.h"
#include "records/samplerecords.h"
#include "records/vornctlrun.h"
#include "store/readerlife.h"
#include "store/recordsstore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUrl>

// vorn-dashboard as a program, over records on an SQLite file or, when VORN_TEST_POSTGRES_URL
// names a server (tests/records/postgres_cluster.sh starts a private one), on PostgreSQL: every
// endpoint answers what vornctl prints for the same records, refuses what it must with the
// right code, and leaves the records exactly as they were.
class DashboardTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void report_data();
    void report();
    void list_data();
    void list();
    void show_data();
    void show();
    void certificate();
    void stations();
    void everyAnswerObeysTheFilter_data();
    void everyAnswerObeysTheFilter();
    void recordShownWithItsRepair_data();
    void recordShownWithItsRepair();
    void refused_data();
    void refused();
    void pageAndScripts();
    void headIsGetWithoutBody();
    void slowReportHoldsUpNothingElse();
    void recordsLeftAsTheyWere();

    void cannotStart_data();
    void cannotStart();

private:
    bool onPostgreSql() const { return !m_serverUrl.isEmpty(); }
    QStringList vornctl(const QStringList &arguments) const;
    QString cliOutput(const QStringList &arguments) const;
    HttpAnswer get(const QByteArray &target);
    static ReaderRecord liveRecord(int n, const QString &station, const QDateTime &started,
                                   bool pass);
    static ReaderRecord vorn4Record(int n);
    static void storeRepairedReader(RecordsStore &store);
    // The rows of a CSV answer as objects by the header's names.
    static QList<QJsonObject> csvRows(const QByteArray &csv);
    void runOnServer(const QString &database, const QStringList &statements);
    QStringList tables();
    QString checkoutRows();

    QTemporaryDir m_folder;
    QString m_serverUrl = qEnvironmentVariable("VORN_TEST_POSTGRES_URL");
    QString m_url;      // the records the dashboard serves
    QString m_cliUrl;   // the same records for vornctl: a copy of the file, or the same database
    QString m_file;     // the SQLite file
    QByteArray m_bytes; // its bytes and modification time before the session
    QDateTime m_modified;
    QStringList m_tablesBefore;
    QString m_rowsBefore;
    DashboardProcess m_dashboard;
};

QStringList DashboardTest::vornctl(const QStringList &arguments) const
{
    return QStringList{QStringLiteral("--records"), m_cliUrl, QStringLiteral("records")} +
           arguments;
}

QString DashboardTest::cliOutput(const QStringList &arguments) const
{
    const VornctlRun run = VornctlRun::of(vornctl(arguments));
    if (run.exitCode != 0)
        qWarning("vornctl %s: exit %d, %s", qPrintable(arguments.join(QLatin1Char(' '))),
                 run.exitCode, qPrintable(run.err));
    return run.out;
}

HttpAnswer DashboardTest::get(const QByteArray &target)
{
    const std::optional<HttpAnswer> answer = httpRequest(m_dashboard.port(), "GET", target);
    return answer ? *answer : HttpAnswer();
}

// A checkout of today, on a station of the line that is working now.
ReaderRecord DashboardTest::liveRecord(int n, const QString &station, const QDateTime &started,
                                       bool pass)
{
    ReaderRecord record = sampleRecord(n, QStringLiteral("live"));
    record.station = station;
    record.started = started;
    record.serialNumber = 5000 + n;
    record.outcome = pass ? ReaderOutcome::Pass : ReaderOutcome::Fail;
    for (StepRecord &step : record.steps) {
        if (step.name == QLatin1String("echo") && !pass)
            step.outcome = StepOutcome::Fail;
    }
    return record;
}

void DashboardTest::runOnServer(const QString &database, const QStringList &statements)
{
    const RecordsLocation server = *RecordsLocation::parse(m_serverUrl, nullptr);
    {
        QSqlDatabase connection =
            QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("admin"));
        connection.setHostName(server.host);
        connection.setPort(server.port);
        connection.setUserName(server.user);
        connection.setDatabaseName(database.isEmpty() ? server.database : database);
        QVERIFY2(connection.open(), qPrintable(connection.lastError().text()));
        for (const QString &statement : statements) {
            QSqlQuery query(connection);
            QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("admin"));
}

QStringList DashboardTest::tables()
{
    const RecordsLocation location = *RecordsLocation::parse(m_url, nullptr);
    QStringList names;
    {
        QSqlDatabase connection = QSqlDatabase::addDatabase(
            onPostgreSql() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
            QStringLiteral("look"));
        connection.setHostName(location.host);
        connection.setPort(location.port);
        connection.setUserName(location.user);
        connection.setDatabaseName(onPostgreSql() ? location.database : m_cliUrl.mid(7));
        if (connection.open())
            names = connection.tables(QSql::AllTables);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("look"));
    names.sort();
    return names;
}

QString DashboardTest::checkoutRows()
{
    return cliOutput({QStringLiteral("list"), QStringLiteral("--csv")});
}

// A Vorn4 of lot-4 checked by the plan Vorn4-retail on station-4, on the first day of the
// records.
ReaderRecord DashboardTest::vorn4Record(int n)
{
    ReaderRecord record = sampleRecord(n, QStringLiteral("vorn4"));
    record.modelType = 4;
    record.serialNumber = 4000 + n;
    record.station = QStringLiteral("station-4");
    record.lot = QStringLiteral("lot-4");
    record.plan.name = QStringLiteral("Vorn4-retail");
    return record;
}

// SN 6001: a failed checkout, the repair that answered it, and the checkout that then passed.
void DashboardTest::storeRepairedReader(RecordsStore &store)
{
    ReaderRecord failed = sampleRecord(5, QStringLiteral("fixed"));
    failed.serialNumber = 6001;
    ReaderRecord passed = sampleRecord(6, QStringLiteral("fixed"));
    passed.serialNumber = 6001;
    QCOMPARE(store.store(failed), RecordsStore::Stored::Added);
    QCOMPARE(store.store(passed), RecordsStore::Stored::Added);
    RepairRecord repair;
    repair.id = QStringLiteral("repair-6001");
    repair.serialNumber = 6001;
    repair.checkoutId = failed.id;
    repair.repaired = failed.started.addSecs(30);
    repair.technician = QStringLiteral("anna");
    repair.symptom = QStringLiteral("clock 3 stuck");
    repair.action = QStringLiteral("replaced the crystal");
    repair.station = QStringLiteral("bench-1");
    QVERIFY2(ReaderLife(store).store(repair), qPrintable(store.errorText()));
}

QList<QJsonObject> DashboardTest::csvRows(const QByteArray &csv)
{
    // The fields of these records hold no comma, quote or line break.
    QList<QByteArray> lines = csv.trimmed().split('\n');
    const QList<QByteArray> names = lines.takeFirst().trimmed().split(',');
    QList<QJsonObject> rows;
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.trimmed().split(',');
        QJsonObject row;
        for (qsizetype index = 0; index < names.size() && index < fields.size(); ++index)
            row.insert(QString::fromUtf8(names.at(index)), QString::fromUtf8(fields.at(index)));
        rows.append(row);
    }
    return rows;
}

void DashboardTest::initTestCase()
{
    QVERIFY(m_folder.isValid());
    if (onPostgreSql()) {
        runOnServer({}, {QStringLiteral("DROP DATABASE IF EXISTS dashboard"),
                         QStringLiteral("CREATE DATABASE dashboard")});
        RecordsLocation location = *RecordsLocation::parse(m_serverUrl, nullptr);
        location.database = QStringLiteral("dashboard");
        m_url = m_cliUrl = location.url();
    } else {
        m_file = m_folder.filePath(QStringLiteral("records.sqlite"));
        m_url = QStringLiteral("sqlite:") + m_file;
        m_cliUrl = QStringLiteral("sqlite:") + m_folder.filePath(QStringLiteral("copy.sqlite"));
    }
    {
        RecordsStore store(*RecordsLocation::parse(m_url, nullptr));
        QVERIFY2(store.open(), qPrintable(store.errorText()));
        for (int n = 1; n <= 40; ++n)
            QCOMPARE(store.store(sampleRecord(n)), RecordsStore::Stored::Added);
        for (int n = 1; n <= 4; ++n)
            QCOMPARE(store.store(vorn4Record(n)), RecordsStore::Stored::Added);
        storeRepairedReader(store);
        if (QTest::currentTestFailed())
            return;
        // Today's line: one station at work, one silent for two hours, a reader retested.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QDateTime earlier = now.addSecs(-600);
        if (earlier.date() != now.date())
            earlier = QDateTime(now.date(), QTime(0, 0), QTimeZone::utc());
        const QList<ReaderRecord> live{
            liveRecord(1, QStringLiteral("line-a"), earlier, false),
            liveRecord(1, QStringLiteral("line-a"), earlier.addSecs(60), true),
            liveRecord(2, QStringLiteral("line-a"), earlier.addSecs(120), true),
            liveRecord(3, QStringLiteral("line-b <b>&"), now.addSecs(-7200), true),
        };
        for (int index = 0; index < live.size(); ++index) {
            ReaderRecord record = live.at(index);
            record.id = QStringLiteral("live-%1").arg(index);
            QCOMPARE(store.store(record), RecordsStore::Stored::Added);
        }
    }
    if (!onPostgreSql()) {
        QVERIFY(QFile::copy(m_file, m_cliUrl.mid(7)));
        QFile file(m_file);
        QVERIFY(file.open(QIODevice::ReadOnly));
        m_bytes = file.readAll();
        m_modified = QFileInfo(m_file).lastModified();
    }
    m_tablesBefore = tables();
    m_rowsBefore = checkoutRows();
    QVERIFY2(m_dashboard.start(m_url), qPrintable(m_dashboard.output()));
}

void DashboardTest::report_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QStringList>("options");

    QTest::newRow("the last 7 days") << QByteArray() << QStringList{};
    QTest::newRow("one day") << QByteArray("since=2026-12-07&until=2026-12-07")
                             << QStringList{"--since", "2026-12-07", "--until", "2026-12-07"};
    QTest::newRow("part of an hour, zone")
        << QByteArray("since=2026-12-07T09%3A10%2B01%3A00&until=2026-12-07T08:25")
        << QStringList{"--since", "2026-12-07T09:10+01:00", "--until", "2026-12-07T08:25"};
    QTest::newRow("station") << QByteArray("since=2026-12-01&station=station-1")
                             << QStringList{"--since", "2026-12-01", "--station", "station-1"};
    QTest::newRow("model, lot, operator")
        << QByteArray("since=2026-12-01&model=8&lot=lot-1&operator=operator-0")
        << QStringList{"--since", "2026-12-01", "--model",    "8",
                       "--lot",   "lot-1",      "--operator", "operator-0"};
    QTest::newRow("empty values count as not given")
        << QByteArray("since=2026-12-07&until=2026-12-07&station=&lot=")
        << QStringList{"--since", "2026-12-07", "--until", "2026-12-07"};
    for (const char *by : {"day", "hour", "station", "model", "firmware", "operator", "lot"})
        QTest::addRow("by %s", by) << QByteArray("since=2026-12-01&by=") + by
                                   << QStringList{"--since", "2026-12-01", "--by", by};
    QTest::newRow("today, by station, as the page asks")
        << QByteArray("since=") + QDate::currentDate().toString(Qt::ISODate).toLatin1() +
               "&by=station"
        << QStringList{"--since", QDate::currentDate().toString(Qt::ISODate), "--by", "station"};
}

void DashboardTest::report()
{
    QFETCH(QByteArray, query);
    QFETCH(QStringList, options);
    const HttpAnswer answer = get("/api/report?" + query);
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.header("content-type"), QByteArray("application/json"));
    QCOMPARE(QString::fromUtf8(answer.body), cliOutput(QStringList{"report", "--json"} + options));
}

void DashboardTest::list_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QStringList>("options");

    QTest::newRow("all") << QByteArray() << QStringList{};
    QTest::newRow("serial") << QByteArray("serial=1005") << QStringList{"--serial", "1005"};
    QTest::newRow("serial as printed")
        << QByteArray("serial=001005") << QStringList{"--serial", "001005"};
    QTest::newRow("a retested reader")
        << QByteArray("serial=5001") << QStringList{"--serial", "5001"};
    QTest::newRow("failed") << QByteArray("outcome=fail") << QStringList{"--outcome", "fail"};
    QTest::newRow("since, in UTC") << QByteArray("since=2026-12-07T08:10:00Z")
                                   << QStringList{"--since", "2026-12-07T08:10:00Z"};
    QTest::newRow("station with markup, limit")
        << QByteArray("station=line-b+%3Cb%3E%26&limit=1")
        << QStringList{"--station", "line-b <b>&", "--limit", "1"};
    QTest::newRow("lot, operator") << QByteArray("lot=lot-1&operator=operator-0")
                                   << QStringList{"--lot", "lot-1", "--operator", "operator-0"};
    QTest::newRow("errors, limit")
        << QByteArray("outcome=error&limit=2") << QStringList{"--outcome", "error", "--limit", "2"};
}

void DashboardTest::list()
{
    QFETCH(QByteArray, query);
    QFETCH(QStringList, options);
    const HttpAnswer answer = get("/api/records?" + query);
    QCOMPARE(answer.status, 200);
    const QString expected = cliOutput(QStringList{"list", "--json"} + options);
    QVERIFY(!QJsonDocument::fromJson(expected.toUtf8())["records"].toArray().isEmpty());
    QCOMPARE(QString::fromUtf8(answer.body), expected);
}

void DashboardTest::show_data()
{
    QTest::addColumn<QString>("id");
    QTest::newRow("passed") << sampleRecord(1).id;
    QTest::newRow("failed") << sampleRecord(5).id;
    QTest::newRow("never identified") << sampleRecord(7).id;
    QTest::newRow("on a station with markup in its name") << QStringLiteral("live-3");
}

// The dashboard's record without what it adds to vornctl's: each step's "said" (what went
// wrong in words), given in said step by step when asked for.
static QJsonObject withoutSaid(const QByteArray &body, QStringList *said = nullptr)
{
    QJsonObject record = QJsonDocument::fromJson(body).object();
    QJsonArray steps = record.value(QLatin1String("steps")).toArray();
    for (qsizetype i = 0; i < steps.size(); ++i) {
        QJsonObject step = steps.at(i).toObject();
        const QString words = step.take(QLatin1String("said")).toString();
        if (said)
            said->append(words);
        steps.replace(i, step);
    }
    record.insert(QLatin1String("steps"), steps);
    return record;
}

void DashboardTest::show()
{
    QFETCH(QString, id);
    const HttpAnswer answer = get("/api/records/" + QUrl::toPercentEncoding(id));
    QCOMPARE(answer.status, 200);
    // vornctl's record, and for each step that did not pass what went wrong in words.
    QStringList said;
    const QJsonObject record = withoutSaid(answer.body, &said);
    const QJsonArray steps = record.value(QLatin1String("steps")).toArray();
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const QString outcome = steps.at(i)[QLatin1String("outcome")].toString();
        if (outcome == QLatin1String("fail"))
            QVERIFY(!said.at(i).isEmpty());
        else if (outcome == QLatin1String("pass"))
            QVERIFY(said.at(i).isEmpty());
    }
    QCOMPARE(QJsonDocument(record),
             QJsonDocument::fromJson(cliOutput({"show", id, "--json"}).toUtf8()));
}

void DashboardTest::certificate()
{
    // The same page as vornctl prints, read back as text (a PDF carries its moment of making).
    const QString id = sampleRecord(5).id;
    const QByteArray target = "/api/records/" + id.toLatin1() + "/certificate.pdf";
    const HttpAnswer answer = get(target);
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.header("content-type"), QByteArray("application/pdf"));
    QCOMPARE(answer.header("content-disposition"),
             QByteArray("inline; filename=\"certificate-001005-2026-12-07.pdf\""));
    QVERIFY(answer.body.startsWith("%PDF-"));
    const QString served = m_folder.filePath(QStringLiteral("served.pdf"));
    const QString printed = m_folder.filePath(QStringLiteral("printed.pdf"));
    QFile file(served);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(answer.body);
    file.close();
    QCOMPARE(VornctlRun::of(vornctl({"certificate", id, "-o", printed})).exitCode, 0);
    const auto text = [](const QString &pdf) {
        QProcess pdftotext;
        pdftotext.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        pdftotext.waitForFinished(30'000);
        return QString::fromUtf8(pdftotext.readAllStandardOutput());
    };
    const QString servedText = text(served);
    QVERIFY2(servedText.contains(QLatin1String("001005")), qPrintable(servedText));
    QCOMPARE(servedText, text(printed));
}

void DashboardTest::stations()
{
    const HttpAnswer answer = get("/api/stations");
    QCOMPARE(answer.status, 200);
    const QJsonObject line = QJsonDocument::fromJson(answer.body).object();
    const QDateTime now = QDateTime::fromString(line[QLatin1String("now")].toString(), Qt::ISODate);
    const QString day = line[QLatin1String("day")].toString();
    QCOMPARE(day, now.toUTC().date().toString(Qt::ISODate));

    // Every station with a checkout in the last 30 days, as vornctl lists and reports them.
    QStringList expected;
    for (const QJsonValue &record :
         QJsonDocument::fromJson(cliOutput({"list", "--json"}).toUtf8())["records"].toArray()) {
        const QString station = record[QLatin1String("station")].toString();
        const QDateTime started =
            QDateTime::fromString(record[QLatin1String("started")].toString(), Qt::ISODateWithMs);
        if (started >= now.addDays(-30) && !expected.contains(station))
            expected.append(station);
    }
    expected.sort();
    QStringList shown;
    for (const QJsonValue &value : line[QLatin1String("stations")].toArray()) {
        const QJsonObject station = value.toObject();
        const QString name = station[QLatin1String("station")].toString();
        shown.append(name);
        const QJsonValue newest =
            QJsonDocument::fromJson(cliOutput({"list", "--json", "--station", name, "--limit", "1"})
                                        .toUtf8())["records"][0];
        QCOMPARE(station[QLatin1String("last_checkout")], newest[QLatin1String("started")]);
        const QJsonObject today =
            QJsonDocument::fromJson(
                cliOutput({"report", "--json", "--since", day, "--until", day, "--station", name})
                    .toUtf8())
                .object();
        for (const char *figure : {"checkouts", "readers", "first_pass_yield", "final_yield"})
            QCOMPARE(station[QLatin1String(figure)], today[QLatin1String(figure)]);
    }
    QCOMPARE(shown, expected);
    QVERIFY(shown.contains(QStringLiteral("line-a")));
    QVERIFY(shown.contains(QStringLiteral("line-b <b>&")));
}

// Every answer the page shows narrowed by a filter holds only checkouts the filter lets
// through: the list, the failed list, the checkouts CSV, a reader's history, the stations'
// tiles and the report's count of checkouts. Each filter leaves some checkouts and drops others.
void DashboardTest::everyAnswerObeysTheFilter_data()
{
    QTest::addColumn<QByteArray>("filter");
    QTest::addColumn<QString>("field"); // of a listed checkout, as the JSON names it
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("serial"); // a reader with checkouts the filter lets through

    QTest::newRow("station") << QByteArray("station=station-1") << "station"
                             << "station-1" << 1004;
    QTest::newRow("model 4") << QByteArray("model=4") << "model"
                             << "Vorn4" << 4002;
    QTest::newRow("model Vorn8") << QByteArray("model=vorn8") << "model"
                                 << "Vorn8" << 1005;
    QTest::newRow("lot") << QByteArray("lot=lot-1") << "lot"
                         << "lot-1" << 1012;
    QTest::newRow("operator") << QByteArray("operator=operator-0") << "operator"
                              << "operator-0" << 1010;
    QTest::newRow("plan") << QByteArray("plan=Vorn4-retail") << "plan"
                          << "Vorn4-retail" << 4003;
    QTest::newRow("days") << QByteArray("since=2026-12-07&until=2026-12-07") << ""
                          << "" << 1005;
    QTest::newRow("model and station") << QByteArray("model=8&station=station-2") << "station"
                                       << "station-2" << 1005;
}

void DashboardTest::everyAnswerObeysTheFilter()
{
    QFETCH(QByteArray, filter);
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(int, serial);
    const auto admitted = [&](const QJsonObject &checkout) {
        const QString started = checkout[QLatin1String("started")].toString();
        if (filter.contains("since"))
            return started.startsWith(QLatin1String("2026-12-07"));
        if (filter.contains("model=8") &&
            checkout[QLatin1String("model")] != QLatin1String("Vorn8"))
            return false;
        return checkout[field].toString() == value;
    };
    const auto json = [this](const QByteArray &target) {
        const HttpAnswer answer = get(target);
        if (answer.status != 200)
            qWarning("%s: %d %s", target.constData(), answer.status, answer.body.constData());
        return QJsonDocument::fromJson(answer.body).object();
    };

    // The list, and the failed ones as the page lists them.
    const QJsonArray all = json("/api/records?limit=10000")["records"].toArray();
    const QJsonArray listed = json("/api/records?limit=10000&" + filter)["records"].toArray();
    QVERIFY(!listed.isEmpty());
    QVERIFY(listed.size() < all.size());
    qsizetype expected = 0;
    for (const QJsonValue &checkout : all)
        expected += admitted(checkout.toObject()) ? 1 : 0;
    QCOMPARE(listed.size(), expected);
    for (const QJsonValue &checkout :
         json("/api/records?outcome=fail&" + filter)["records"].toArray())
        QVERIFY2(admitted(checkout.toObject()),
                 qPrintable(checkout[QLatin1String("id")].toString()));

    // The checkouts CSV: the same checkouts.
    const HttpAnswer csv = get("/api/records.csv?limit=10000&" + filter);
    QCOMPARE(csv.status, 200);
    QStringList csvIds;
    for (const QJsonObject &row : csvRows(csv.body))
        csvIds.append(row[QLatin1String("id")].toString());
    QStringList listedIds;
    for (const QJsonValue &checkout : listed)
        listedIds.append(checkout[QLatin1String("id")].toString());
    QCOMPARE(csvIds, listedIds);

    // A reader's history: only its checkouts the filter lets through.
    const QJsonArray events =
        json("/api/readers/" + QByteArray::number(serial) + "/history?" + filter)["events"]
            .toArray();
    QVERIFY(!events.isEmpty());
    for (const QJsonValue &event : events) {
        const QString id = event[QLatin1String("id")].toString();
        if (event[QLatin1String("kind")] == QLatin1String("checkout"))
            QVERIFY2(listedIds.contains(id), qPrintable(id));
    }

    // The report counts the checkouts listed in its window.
    const QJsonObject report =
        json("/api/report?" +
             (filter.contains("since") ? filter : "since=2026-12-01&until=2026-12-07&" + filter));
    qsizetype inWindow = 0;
    for (const QJsonValue &checkout : listed)
        inWindow += checkout[QLatin1String("started")].toString() < QLatin1String("2026-12-08");
    QCOMPARE(report[QLatin1String("checkouts")].toInteger(), inWindow);

    // The stations' tiles: today's checkouts (line-a, line-b) are all Vorn8 of lot-0 and
    // operator-1 on no plan: a filter leaves the stations of those it lets through.
    const QJsonArray tiles = json("/api/stations?" + filter)["stations"].toArray();
    const QJsonArray today =
        json("/api/records?limit=10000&since=" +
             QDateTime::currentDateTimeUtc().addDays(-30).toString(Qt::ISODate).toLatin1() + "&" +
             filter.replace("since=2026-12-07&until=2026-12-07", ""))["records"]
            .toArray();
    QStringList expectedStations;
    for (const QJsonValue &checkout : today) {
        const QString station = checkout[QLatin1String("station")].toString();
        if (!expectedStations.contains(station))
            expectedStations.append(station);
    }
    QStringList shown;
    for (const QJsonValue &tile : tiles)
        shown.append(tile[QLatin1String("station")].toString());
    expectedStations.sort();
    QCOMPARE(shown, expectedStations);
}

// A record is shown with the repair it is linked to, wherever it is shown: the dashboard's
// record and certificate, and vornctl's show, as text and as JSON.
void DashboardTest::recordShownWithItsRepair_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("words");
    QTest::newRow("passed after the repair") << "fixed-000006"
                                             << "Repair before this checkout";
    QTest::newRow("answered by the repair") << "fixed-000005"
                                            << "Repair answering this checkout";
}

void DashboardTest::recordShownWithItsRepair()
{
    QFETCH(QString, id);
    QFETCH(QString, words);
    const HttpAnswer answer = get("/api/records/" + id.toLatin1());
    QCOMPARE(answer.status, 200);
    const QJsonObject repair = QJsonDocument::fromJson(answer.body)["repair"].toObject();
    QCOMPARE(repair[QLatin1String("id")].toString(), QStringLiteral("repair-6001"));
    QCOMPARE(QJsonDocument(withoutSaid(answer.body)),
             QJsonDocument::fromJson(cliOutput({"show", id, "--json"}).toUtf8()));
    const QString text = cliOutput({"show", id});
    QVERIFY2(text.contains(words + QStringLiteral(": repaired")) &&
                 text.contains(QLatin1String("replaced the crystal")),
             qPrintable(text));

    const HttpAnswer certificate = get("/api/records/" + id.toLatin1() + "/certificate.pdf");
    QCOMPARE(certificate.status, 200);
    const QString pdf = m_folder.filePath(id + QStringLiteral(".pdf"));
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(certificate.body);
    file.close();
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY(pdftotext.waitForFinished(30'000));
    const QString printed = QString::fromUtf8(pdftotext.readAllStandardOutput());
    QVERIFY2(printed.contains(QLatin1String("replaced the crystal")), qPrintable(printed));
}

void DashboardTest::refused_data()
{
    QTest::addColumn<QByteArray>("request"); // method and target
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("words");

    // A parameter that cannot be understood.
    QTest::newRow("limit -1") << QByteArray("GET /api/records?limit=-1") << 400 << "'-1'";
    QTest::newRow("limit abc") << QByteArray("GET /api/records?limit=abc") << 400 << "'abc'";
    QTest::newRow("limit 1e9") << QByteArray("GET /api/records?limit=1e9") << 400 << "'1e9'";
    QTest::newRow("limit 0") << QByteArray("GET /api/records?limit=0") << 400 << "from 1";
    QTest::newRow("limit too large")
        << QByteArray("GET /api/records?limit=10001") << 400 << "from 1 to 10000";
    QTest::newRow("serial out of range")
        << QByteArray("GET /api/records?serial=70000") << 400 << "from 0 to 65535";
    QTest::newRow("markup as serial")
        << QByteArray("GET /api/records?serial=%3Cimg%20src%3Dx%20onerror%3Dalert(1)%3E") << 400
        << "not '<img src=x onerror=alert(1)>'";
    QTest::newRow("unknown outcome")
        << QByteArray("GET /api/records?outcome=maybe") << 400 << "pass, fail, error";
    QTest::newRow("not a date") << QByteArray("GET /api/records?since=yesterday") << 400
                                << "like 2026-12-07";
    QTest::newRow("report, not a day")
        << QByteArray("GET /api/report?since=2026-13-01") << 400 << "since must be a date";
    QTest::newRow("report, empty window")
        << QByteArray("GET /api/report?since=2026-12-08&until=2026-12-07") << 400
        << "the window is empty";
    QTest::newRow("report, unknown grouping")
        << QByteArray("GET /api/report?by=week") << 400 << "by takes day, hour";
    QTest::newRow("report, unknown model")
        << QByteArray("GET /api/report?model=5") << 400 << "4 or 8";
    // A filter that cannot be read is refused by every answer the page asks for, with the
    // same words, never answered as no data.
    for (const char *target : {"/api/records?", "/api/records.csv?", "/api/report.csv?",
                               "/api/stations?", "/api/readers/1005/history?"}) {
        QTest::addRow("%smodel=5", target)
            << "GET " + QByteArray(target) + "model=5" << 400 << "model must be 4 or 8";
        QTest::addRow("%suntil=soon", target) << "GET " + QByteArray(target) + "until=soon" << 400
                                              << "until must be a date or a date and time in UTC";
    }
    QTest::newRow("unknown parameter")
        << QByteArray("GET /api/report?serial=1") << 400 << "unknown parameter 'serial'";
    QTest::newRow("parameter twice")
        << QByteArray("GET /api/records?serial=1&serial=2") << 400 << "given twice";
    QTest::newRow("parameter of a record")
        << QByteArray("GET /api/records/record-000001?json=1") << 400 << "unknown parameter";

    // Nothing there.
    QTest::newRow("unknown record") << QByteArray("GET /api/records/record-999999") << 404
                                    << "no checkout record record-999999";
    QTest::newRow("certificate of an unknown record")
        << QByteArray("GET /api/records/record-999999/certificate.pdf") << 404
        << "no checkout record";
    QTest::newRow("unknown path") << QByteArray("GET /api/reports") << 404 << "nothing here";
    QTest::newRow("below a record")
        << QByteArray("GET /api/records/record-000001/steps") << 404 << "nothing here";
    QTest::newRow("api alone") << QByteArray("GET /api/") << 404 << "nothing here";
    QTest::newRow("dot-dot") << QByteArray("GET /../../etc/passwd") << 404 << "nothing here";
    QTest::newRow("encoded dot-dot")
        << QByteArray("GET /%2e%2e/%2e%2e/etc/passwd") << 404 << "nothing here";
    QTest::newRow("dot-dot after a file")
        << QByteArray("GET /dashboard.js/../../../etc/passwd") << 404 << "nothing here";
    QTest::newRow("encoded slashes in a record id")
        << QByteArray("GET /api/records/..%2F..%2F..%2Fetc%2Fpasswd") << 404
        << "no checkout record ../../../etc/passwd";

    // Only reading.
    for (const char *method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"})
        QTest::addRow("%s", method)
            << QByteArray(method) + " /api/records" << 405 << "only GET and HEAD";

    // An address over 8 KiB, in its query or its path.
    QTest::newRow("long query") << "GET /api/records?station=" + QByteArray(8200, 'a') << 414
                                << "longer than 8192";
    QTest::newRow("long path") << "GET /" + QByteArray(9000, 'a') << 414 << "longer than 8192";
}

void DashboardTest::refused()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QString, words);
    const qsizetype space = request.indexOf(' ');
    const std::optional<HttpAnswer> answer =
        httpRequest(m_dashboard.port(), request.left(space), request.mid(space + 1));
    QVERIFY(answer);
    QCOMPARE(answer->status, status);
    QCOMPARE(answer->header("content-type"), QByteArray("application/json"));
    QCOMPARE(answer->header("content-security-policy"), QByteArray("default-src 'self'"));
    QCOMPARE(answer->header("x-content-type-options"), QByteArray("nosniff"));
    const QJsonObject body = QJsonDocument::fromJson(answer->body).object();
    QCOMPARE(body.keys(), QStringList{QStringLiteral("error")});
    QVERIFY2(body[QLatin1String("error")].toString().contains(words), answer->body.constData());
    if (status == 405)
        QCOMPARE(answer->header("allow"), QByteArray("GET, HEAD"));
}

void DashboardTest::pageAndScripts()
{
    QByteArray everything;
    for (const char *file : {"/", "/dashboard.js", "/dashboard.css"}) {
        const HttpAnswer answer = get(file);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.header("content-security-policy"), QByteArray("default-src 'self'"));
        QCOMPARE(answer.header("x-content-type-options"), QByteArray("nosniff"));
        QCOMPARE(answer.headerCount("content-security-policy"), 1);
        everything += answer.body;
    }
    QCOMPARE(get("/").header("content-type"), QByteArray("text/html; charset=utf-8"));
    QCOMPARE(get("/dashboard.js").header("content-type"),
             QByteArray("text/javascript; charset=utf-8"));
    // Nothing from another address: factory networks are often closed.
    QVERIFY(!everything.contains("https://"));
    QVERIFY(!everything.contains("http://"));
    QVERIFY(!everything.contains(".innerHTML"));
    QCOMPARE(get("/favicon.svg").header("content-type"), QByteArray("image/svg+xml"));

    // Chart.js as Debian ships it.
    QFile chart(QStringLiteral("/usr/share/javascript/chart.js/chart.min.js"));
    QVERIFY(chart.open(QIODevice::ReadOnly));
    const HttpAnswer served = get("/chart.min.js");
    QCOMPARE(served.status, 200);
    QCOMPARE(served.body, chart.readAll());
}

void DashboardTest::headIsGetWithoutBody()
{
    HttpConnection connection;
    QVERIFY(connection.open(m_dashboard.port()));
    for (const QByteArray &target :
         {QByteArray("/"), QByteArray("/api/report"), QByteArray("/api/records?limit=-1")}) {
        const HttpAnswer got = get(target);
        QVERIFY(connection.send("HEAD " + target + " HTTP/1.1\r\nHost: x\r\n\r\n"));
        const std::optional<HttpAnswer> head = connection.read(true);
        QVERIFY(head);
        QCOMPARE(head->status, got.status);
        QCOMPARE(head->header("content-length").toLongLong(), got.body.size());
        QCOMPARE(head->header("content-type"), got.header("content-type"));
    }
    // Had a body followed a HEAD's headers, this answer would not start where it is read.
    QVERIFY(connection.send("GET /favicon.svg HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
    const std::optional<HttpAnswer> last = connection.read();
    QVERIFY(last);
    QCOMPARE(last->header("content-type"), QByteArray("image/svg+xml"));
    QVERIFY(connection.closedWithin(10'000));
}

void DashboardTest::slowReportHoldsUpNothingElse()
{
    if (!onPostgreSql())
        QSKIP("a query held up by a lock is made on the PostgreSQL server");
    // Another session holds the report's summaries: the report waits for it.
    const RecordsLocation location = *RecordsLocation::parse(m_url, nullptr);
    QSqlDatabase holder =
        QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("holder"));
    holder.setHostName(location.host);
    holder.setPort(location.port);
    holder.setUserName(location.user);
    holder.setDatabaseName(location.database);
    QVERIFY2(holder.open(), qPrintable(holder.lastError().text()));
    QVERIFY(holder.transaction());
    QVERIFY(
        QSqlQuery(holder).exec(QStringLiteral("LOCK TABLE yield_hours IN ACCESS EXCLUSIVE MODE")));

    // One connection asks for a report and then the icon: the icon is ready first but comes
    // second.
    HttpConnection waiting;
    QVERIFY(waiting.open(m_dashboard.port()));
    QVERIFY(waiting.send("GET /api/report?since=2026-12-07&until=2026-12-07&by=model HTTP/1.1\r\n"
                         "Host: x\r\n\r\nGET /favicon.svg HTTP/1.1\r\nHost: x\r\n\r\n"));
    // Meanwhile the page, a list and a record are served at once.
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(get("/").status, 200);
    QCOMPARE(get("/api/records?serial=1005").status, 200);
    QCOMPARE(get("/api/records/record-000005").status, 200);
    QVERIFY2(timer.elapsed() < 5'000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!waiting.socket().bytesAvailable());

    QVERIFY(holder.commit());
    holder.close();
    holder = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    const std::optional<HttpAnswer> report = waiting.read();
    QVERIFY(report);
    QCOMPARE(QString::fromUtf8(report->body),
             cliOutput({"report", "--json", "--since", "2026-12-07", "--until", "2026-12-07",
                        "--by", "model"}));
    const std::optional<HttpAnswer> icon = waiting.read();
    QVERIFY(icon);
    QCOMPARE(icon->header("content-type"), QByteArray("image/svg+xml"));
}

void DashboardTest::recordsLeftAsTheyWere()
{
    QCOMPARE(m_dashboard.stop(), 0);
    QCOMPARE(tables(), m_tablesBefore);
    QCOMPARE(checkoutRows(), m_rowsBefore);
    if (onPostgreSql())
        return;
    QFile file(m_file);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256),
             QCryptographicHash::hash(m_bytes, QCryptographicHash::Sha256));
    QCOMPARE(QFileInfo(m_file).lastModified(), m_modified);
}

void DashboardTest::cannotStart_data()
{
    QTest::addColumn<QString>("records");    // a URL; FILE stands for a file made first
    QTest::addColumn<QByteArray>("content"); // of FILE: bytes, or "newer", "older", "empty db"
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("words");

    if (onPostgreSql()) {
        QTest::newRow("no such database") << "postgresql://postgres@HOST/nothing" << QByteArray()
                                          << QStringList{} << 3 << "has no database nothing";
        QTest::newRow("database without records")
            << "postgresql://postgres@HOST/empty" << QByteArray("empty db") << QStringList{} << 3
            << "no records at";
        return;
    }
    QTest::newRow("no file") << "sqlite:FILE" << QByteArray() << QStringList{} << 3
                             << "no records at";
    QTest::newRow("not SQLite") << "sqlite:FILE" << QByteArray("notes\n") << QStringList{} << 3
                                << "is not an SQLite database";
    QTest::newRow("no records in it")
        << "sqlite:FILE" << QByteArray("empty db") << QStringList{} << 3 << "no records at";
    QTest::newRow("newer schema") << "sqlite:FILE" << QByteArray("newer") << QStringList{} << 3
                                  << "schema version 99, newer";
    QTest::newRow("older schema") << "sqlite:FILE" << QByteArray("older") << QStringList{} << 3
                                  << "schema version 1, older than this program reads";
    QTest::newRow("unknown kind of URL")
        << "mysql://host/records" << QByteArray() << QStringList{} << 2 << "unknown kind";
    QTest::newRow("bad listen address") << "sqlite:FILE" << QByteArray("older")
                                        << QStringList{"--listen", "8080"} << 2 << "--listen takes";
    QTest::newRow("unknown option")
        << "sqlite:FILE" << QByteArray() << QStringList{"--port", "1"} << 2 << "Unknown option";
    QTest::newRow("port in use") << "sqlite:FILE" << QByteArray("records")
                                 << QStringList{"--listen", "127.0.0.1:USED"} << 1
                                 << "cannot listen on 127.0.0.1:";
}

void DashboardTest::cannotStart()
{
    QFETCH(QString, records);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, words);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("records.sqlite"));
    records.replace(QLatin1String("FILE"), path);
    if (onPostgreSql()) {
        const RecordsLocation server = *RecordsLocation::parse(m_serverUrl, nullptr);
        records.replace(QLatin1String("HOST"),
                        QStringLiteral("%1:%2").arg(server.host).arg(server.port));
        if (content == "empty db")
            runOnServer({}, {QStringLiteral("DROP DATABASE IF EXISTS empty"),
                             QStringLiteral("CREATE DATABASE empty")});
    } else if (content == "older") {
        QVERIFY(QFile::copy(QStringLiteral(VORN_V1_RECORDS), path));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    } else if (content == "newer" || content == "records") {
        {
            RecordsStore store(*RecordsLocation::parse(records, nullptr));
            QVERIFY(store.open());
            QCOMPARE(store.store(sampleRecord(1)), RecordsStore::Stored::Added);
        }
        if (content == "newer") {
            {
                QSqlDatabase file =
                    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("later"));
                file.setDatabaseName(path);
                QVERIFY(file.open());
                QVERIFY(
                    QSqlQuery(file).exec(QStringLiteral("UPDATE records_schema SET version = 99")));
            }
            QSqlDatabase::removeDatabase(QStringLiteral("later"));
        }
    } else if (content == "empty db") {
        {
            QSqlDatabase file =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
            file.setDatabaseName(path);
            QVERIFY(file.open());
            QVERIFY(QSqlQuery(file).exec(QStringLiteral("CREATE TABLE notes (text TEXT)")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    } else if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QTcpServer used;
    QVERIFY(used.listen(QHostAddress::LocalHost));
    options.replaceInStrings(QStringLiteral("USED"), QString::number(used.serverPort()));

    // A reader of an SQLite file in write-ahead-log mode keeps the log's index files beside it
    // (they hold no records); a file that was not there gets nothing at all.
    const bool existed = QFileInfo::exists(path);
    const auto snapshot = [&] {
        QStringList state;
        for (const QFileInfo &entry :
             QDir(folder.path()).entryInfoList(QDir::Files | QDir::Hidden)) {
            if (existed && (entry.fileName().endsWith(QLatin1String("-shm")) ||
                            entry.fileName().endsWith(QLatin1String("-wal"))))
                continue;
            QFile file(entry.filePath());
            file.open(QIODevice::ReadOnly);
            state.append(
                entry.fileName() + QLatin1Char(' ') +
                QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex() +
                QLatin1Char(' ') + entry.lastModified().toString(Qt::ISODateWithMs));
        }
        return state;
    };
    const QStringList before = snapshot();
    QProcess dashboard;
    dashboard.start(QStringLiteral(VORN_DASHBOARD_PATH),
                    QStringList{QStringLiteral("--records"), records} + options);
    QVERIFY(dashboard.waitForFinished(30'000));
    QCOMPARE(dashboard.exitCode(), exitCode);
    const QString error = QString::fromUtf8(dashboard.readAllStandardError());
    QVERIFY2(error.startsWith(QLatin1String("vorn-dashboard: ")), qPrintable(error));
    QVERIFY2(error.contains(words), qPrintable(error));
    QVERIFY(dashboard.readAllStandardOutput().isEmpty());
    // Nothing made, nothing changed: not a file, not a byte, not a modification time.
    QCOMPARE(snapshot(), before);
}

QTEST_GUILESS_MAIN(DashboardTest)
#include "tst_dashboard.moc"
