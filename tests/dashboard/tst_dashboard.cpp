#include "dashboard/dashboardprocess.h"
#include "dashboard/httpexchange.h"
#include "records/samplerecords.h"
#include "records/vornctlrun.h"
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

void DashboardTest::show()
{
    QFETCH(QString, id);
    const HttpAnswer answer = get("/api/records/" + QUrl::toPercentEncoding(id));
    QCOMPARE(answer.status, 200);
    QCOMPARE(QString::fromUtf8(answer.body), cliOutput({"show", id, "--json"}));
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
             QByteArray("inline; filename=\"certificate-SN001005.pdf\""));
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
