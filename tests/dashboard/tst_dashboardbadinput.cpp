#include "dashboard/dashboardprocess.h"
#include "dashboard/httpexchange.h"
#include "records/samplerecords.h"
#include "records/vornctlrun.h"
#include "store/recordsstore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

// vorn-dashboard under input no browser sends: a request sent in part and left open, a
// thousand requests of random bytes, malformed ones of every kind. Through all of it the other
// requests are answered, and afterwards the report is still right and no connection is left
// behind.
class DashboardBadInputTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void malformedRequests_data();
    void malformedRequests();
    void halfRequestAndRandomBytes();
    void stopsCleanly();

private:
    int openSockets() const;
    void expectServed(const QByteArray &target);

    QTemporaryDir m_folder;
    QString m_url;
    QString m_report; // what vornctl reports for the day
    DashboardProcess m_dashboard;
};

void DashboardBadInputTest::initTestCase()
{
    QVERIFY(m_folder.isValid());
    m_url = QStringLiteral("sqlite:") + m_folder.filePath(QStringLiteral("records.sqlite"));
    {
        RecordsStore store(*RecordsLocation::parse(m_url, nullptr));
        QVERIFY(store.open());
        for (int n = 1; n <= 30; ++n)
            QCOMPARE(store.store(sampleRecord(n)), RecordsStore::Stored::Added);
    }
    const VornctlRun report =
        VornctlRun::of({"--records", m_url, "records", "report", "--json", "--since", "2026-12-07",
                        "--until", "2026-12-07", "--by", "station"});
    QCOMPARE(report.exitCode, 0);
    m_report = report.out;
    QVERIFY2(m_dashboard.start(m_url), qPrintable(m_dashboard.output()));
}

int DashboardBadInputTest::openSockets() const
{
    // The readers' database files come and go with their connections; sockets are what a
    // connection left behind would hold.
    const QDir folder(QStringLiteral("/proc/%1/fd").arg(m_dashboard.pid()));
    int sockets = 0;
    for (const QString &name :
         folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
        char target[64] = {};
        const QByteArray path = folder.filePath(name).toLocal8Bit();
        if (::readlink(path.constData(), target, sizeof target - 1) > 0 &&
            QByteArray(target).startsWith("socket:"))
            ++sockets;
    }
    return sockets;
}

void DashboardBadInputTest::expectServed(const QByteArray &target)
{
    const std::optional<HttpAnswer> answer = httpRequest(m_dashboard.port(), "GET", target);
    QVERIFY2(answer, target.constData());
    QCOMPARE(answer->status, 200);
    if (target.startsWith("/api/report"))
        QCOMPARE(QString::fromUtf8(answer->body), m_report);
}

void DashboardBadInputTest::malformedRequests_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status"); // 0: no answer expected, the connection may be closed

    QTest::newRow("no version") << QByteArray("GET /\r\n\r\n") << 0;
    QTest::newRow("unknown method") << QByteArray("BREW /pot HTTP/1.1\r\n\r\n") << 0;
    QTest::newRow("control bytes in the path")
        << QByteArray("GET /\x01\x02\x7f HTTP/1.1\r\nHost: x\r\n\r\n") << 0;
    QTest::newRow("not UTF-8 in the query")
        << QByteArray("GET /api/records?station=%FF%FE%00 HTTP/1.1\r\nHost: x\r\n\r\n") << 200;
    QTest::newRow("broken percent-encoding")
        << QByteArray("GET /api/records?serial=%G1%2 HTTP/1.1\r\nHost: x\r\n\r\n") << 400;
    QTest::newRow("header without a colon")
        << QByteArray("GET / HTTP/1.1\r\nthis is no header\r\n\r\n") << 0;
    QTest::newRow("a header of 100 KiB")
        << "GET / HTTP/1.1\r\nX-Long: " + QByteArray(100 * 1024, 'x') + "\r\n\r\n"
        << 0;
    QTest::newRow("a body announced and never sent")
        << QByteArray("GET /api/report HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n") << 0;
    QTest::newRow("a body on a refused method")
        << QByteArray("POST /api/records HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello") << 405;
    QTest::newRow("chunked garbage")
        << QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n") << 0;
    QTest::newRow("an upgrade to websocket")
        << QByteArray("GET / HTTP/1.1\r\nHost: x\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n"
                      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                      "Sec-WebSocket-Version: 13\r\n\r\n")
        << 0;
}

void DashboardBadInputTest::malformedRequests()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    {
        HttpConnection connection;
        QVERIFY(connection.open(m_dashboard.port()));
        QVERIFY(connection.send(bytes));
        if (status != 0) {
            const std::optional<HttpAnswer> answer = connection.read();
            QVERIFY(answer);
            QCOMPARE(answer->status, status);
        }
    }
    // Whatever became of that connection, the next request is answered.
    expectServed("/api/report?since=2026-12-07&until=2026-12-07&by=station");
}

void DashboardBadInputTest::halfRequestAndRandomBytes()
{
    const int before = openSockets();
    // Half a request, left open: the dashboard waits for the rest without holding anyone up,
    // and closes the connection once it has been idle for its idle time.
    HttpConnection half;
    QVERIFY(half.open(m_dashboard.port()));
    QVERIFY(half.send("GET /api/report?since=2026-12-07 HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Wait: "));
    QElapsedTimer held;
    held.start();

    QRandomGenerator random(20261207);
    const QList<QByteArray> served{"/api/report?since=2026-12-07&until=2026-12-07&by=station", "/",
                                   "/api/records?serial=1005", "/api/stations"};
    int randomRequests = 0;
    int servedRequests = 0;
    constexpr int RandomRequests = 1000;
    while (half.socket().state() == QAbstractSocket::ConnectedState ||
           randomRequests < RandomRequests) {
        // A few requests of random bytes, each on a connection of its own; some start like a
        // request, to get further into the parser.
        for (int each = 0; each < 10 && randomRequests < RandomRequests; ++each, ++randomRequests) {
            QByteArray bytes(random.bounded(1, 3000), Qt::Uninitialized);
            for (char &byte : bytes)
                byte = char(random.bounded(256));
            switch (random.bounded(3)) {
            case 0:
                bytes.prepend("GET /api/records?serial=");
                break;
            case 1:
                bytes.prepend("GET / HTTP/1.1\r\nHost: x\r\n");
                break;
            default:
                break;
            }
            HttpConnection garbage;
            QVERIFY(garbage.open(m_dashboard.port()));
            QVERIFY(garbage.send(bytes));
        }
        // Meanwhile every request is answered, and answered right.
        QElapsedTimer answered;
        answered.start();
        expectServed(served.at(servedRequests++ % served.size()));
        QVERIFY2(answered.elapsed() < 2'000, qPrintable(QString::number(answered.elapsed())));
        // Paced by the held connection: wait a little for the dashboard to close it.
        if (half.socket().state() == QAbstractSocket::ConnectedState)
            half.socket().waitForReadyRead(250);
        QVERIFY2(held.elapsed() < 120'000, "the half request was never closed");
    }
    // Closed for being idle, not at once and not never.
    const qint64 closedAfter = held.elapsed();
    QVERIFY2(closedAfter >= 25'000 && closedAfter < 60'000,
             qPrintable(QString::number(closedAfter)));
    QVERIFY(!half.read());
    QVERIFY(servedRequests > 50);
    qInfo("half request closed after %lld ms; %d random requests; %d requests served meanwhile",
          closedAfter, randomRequests, servedRequests);

    // Afterwards: right answers, and no connection left open.
    expectServed("/api/report?since=2026-12-07&until=2026-12-07&by=station");
    QTRY_VERIFY_WITH_TIMEOUT(openSockets() <= before, 40'000);
}

void DashboardBadInputTest::stopsCleanly()
{
    QVERIFY(m_dashboard.isRunning());
    QCOMPARE(m_dashboard.stop(), 0);
}

QTEST_GUILESS_MAIN(DashboardBadInputTest)
#include "tst_dashboardbadinput.moc"
