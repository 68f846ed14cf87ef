#include "dashboard/dashboardcommandline.h"
#include "dashboard/dashboardserver.h"
#include "dashboard/recordsreaders.h"
#include "dashboard/sharedanswers.h"
#include "records/samplerecords.h"
#include "store/recordsstore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <future>
#include <mutex>

// The dashboard's parts on their own: answers shared between identical requests, the readers'
// threads, the listen address, and the server answering in process.
class DashboardPartsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void identicalRequestsShareOneAnswer();
    void keptAnswerExpires();
    void failureIsNotKept();
    void slowWorkHoldsUpNoOtherReader();
    void workFailingOnAnOldConnectionRunsOnceMore();
    void storeThatDoesNotOpen();
    void listenAddress_data();
    void listenAddress();
    void identicalReportsShareOneQuery();

private:
    QTemporaryDir m_folder;
    RecordsLocation m_location;
};

void DashboardPartsTest::initTestCase()
{
    QVERIFY(m_folder.isValid());
    m_location = *RecordsLocation::parse(
        QStringLiteral("sqlite:") + m_folder.filePath(QStringLiteral("records.sqlite")), nullptr);
    RecordsStore store(m_location);
    QVERIFY(store.open());
    for (int n = 1; n <= 20; ++n)
        QCOMPARE(store.store(sampleRecord(n)), RecordsStore::Stored::Added);
}

void DashboardPartsTest::identicalRequestsShareOneAnswer()
{
    SharedAnswers shared(std::chrono::seconds(60));
    SharedAnswers::Respond finish;
    int makes = 0;
    const auto make = [&](SharedAnswers::Respond done) {
        ++makes;
        finish = std::move(done);
    };
    QList<int> answered;
    for (int asker = 0; asker < 5; ++asker)
        shared.answer(
            QStringLiteral("a"), [&answered, asker](const Reply &) { answered.append(asker); },
            make);
    shared.answer(
        QStringLiteral("b"), [](const Reply &) {}, [](SharedAnswers::Respond) {});
    QCOMPARE(makes, 1);
    QVERIFY(answered.isEmpty());
    finish(Reply::json({{QStringLiteral("n"), 1}}));
    QCOMPARE(answered, (QList<int>{0, 1, 2, 3, 4}));
    // Asked again while kept: the same answer at once.
    Reply again;
    shared.answer(
        QStringLiteral("a"), [&again](const Reply &reply) { again = reply; }, make);
    QCOMPARE(makes, 1);
    QCOMPARE(again.body, QByteArray("{\"n\":1}\n"));
    QCOMPARE(shared.made(), 2);
}

void DashboardPartsTest::keptAnswerExpires()
{
    SharedAnswers shared(std::chrono::milliseconds(50));
    int makes = 0;
    const auto make = [&makes](SharedAnswers::Respond done) {
        ++makes;
        done(Reply::json({{QStringLiteral("n"), makes}}));
    };
    const auto ask = [&] {
        shared.answer(
            QStringLiteral("a"), [](const Reply &) {}, make);
    };
    ask();
    ask();
    QCOMPARE(makes, 1);
    // Once the keeping time is over, the next asker gets a new answer.
    QTRY_VERIFY_WITH_TIMEOUT((ask(), makes == 2), 5'000);
}

void DashboardPartsTest::failureIsNotKept()
{
    SharedAnswers shared(std::chrono::seconds(60));
    int makes = 0;
    QList<int> statuses;
    const auto failing = [&makes](SharedAnswers::Respond done) {
        ++makes;
        done(Reply::error(503, QStringLiteral("server away")));
    };
    const auto respond = [&statuses](const Reply &reply) { statuses.append(reply.status); };
    shared.answer(QStringLiteral("a"), respond, failing);
    shared.answer(QStringLiteral("a"), respond, failing);
    QCOMPARE(makes, 2);
    QCOMPARE(statuses, (QList<int>{503, 503}));
}

void DashboardPartsTest::slowWorkHoldsUpNoOtherReader()
{
    RecordsReaders readers(m_location, 2);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<int> slowStatus;
    std::promise<QByteArray> quickBody;
    readers.post(
        [released](RecordsStore &, QString &) -> std::optional<Reply> {
            released.wait();
            return Reply::json({});
        },
        [&slowStatus](const Reply &reply) { slowStatus.set_value(reply.status); });
    readers.post(
        [](RecordsStore &store, QString &) -> std::optional<Reply> {
            const auto found = store.list({});
            return found ? std::optional(Reply::json(RecordSummary::listJson(*found)))
                         : std::nullopt;
        },
        [&quickBody](const Reply &reply) { quickBody.set_value(reply.body); });
    // The list is answered while the other reader still waits.
    std::future<QByteArray> quick = quickBody.get_future();
    QCOMPARE(quick.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    QCOMPARE(QJsonDocument::fromJson(quick.get())["records"].toArray().size(), 20);
    std::future<int> slow = slowStatus.get_future();
    QCOMPARE(slow.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    release.set_value();
    QCOMPARE(slow.get(), 200);
}

void DashboardPartsTest::workFailingOnAnOldConnectionRunsOnceMore()
{
    RecordsReaders readers(m_location, 1);
    std::atomic<int> runs = 0;
    std::promise<int> first;
    readers.post(
        [&runs](RecordsStore &, QString &) -> std::optional<Reply> {
            ++runs;
            return Reply::json({});
        },
        [&first](const Reply &reply) { first.set_value(reply.status); });
    QCOMPARE(first.get_future().get(), 200);

    // Fails on the connection kept from the work before: run again on a new one.
    std::promise<int> second;
    readers.post(
        [&runs](RecordsStore &, QString &) -> std::optional<Reply> {
            return ++runs == 2 ? std::nullopt : std::optional(Reply::json({}));
        },
        [&second](const Reply &reply) { second.set_value(reply.status); });
    QCOMPARE(second.get_future().get(), 200);
    QCOMPARE(runs.load(), 3);

    // Fails on a new connection too: 503 with the reason, not a third run.
    std::promise<Reply> third;
    readers.post(
        [&runs](RecordsStore &, QString &error) -> std::optional<Reply> {
            ++runs;
            error = QStringLiteral("the records went away");
            return std::nullopt;
        },
        [&third](const Reply &reply) { third.set_value(reply); });
    const Reply failed = third.get_future().get();
    QCOMPARE(failed.status, 503);
    QCOMPARE(failed.body, QByteArray("{\"error\":\"the records went away\"}\n"));
    QCOMPARE(runs.load(), 5);
}

void DashboardPartsTest::storeThatDoesNotOpen()
{
    RecordsLocation missing = m_location;
    missing.path = m_folder.filePath(QStringLiteral("nothing/records.sqlite"));
    RecordsReaders readers(missing, 1);
    std::promise<Reply> answer;
    bool ran = false;
    readers.post(
        [&ran](RecordsStore &, QString &) -> std::optional<Reply> {
            ran = true;
            return Reply::json({});
        },
        [&answer](const Reply &reply) { answer.set_value(reply); });
    const Reply reply = answer.get_future().get();
    QCOMPARE(reply.status, 503);
    QVERIFY(QJsonDocument::fromJson(reply.body)["error"].toString().startsWith(
        QLatin1String("no records at ")));
    QVERIFY(!ran);
    QVERIFY(!QFileInfo::exists(m_folder.filePath(QStringLiteral("nothing"))));
}

void DashboardPartsTest::listenAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address"); // empty: refused
    QTest::addColumn<int>("port");

    QTest::newRow("IPv4") << "127.0.0.1:8080"
                          << "127.0.0.1" << 8080;
    QTest::newRow("every network") << "0.0.0.0:80"
                                   << "0.0.0.0" << 80;
    QTest::newRow("any free port") << "127.0.0.1:0"
                                   << "127.0.0.1" << 0;
    QTest::newRow("IPv6") << "[::1]:8443"
                          << "::1" << 8443;
    QTest::newRow("localhost") << "localhost:9000"
                               << "127.0.0.1" << 9000;
    QTest::newRow("port alone") << "8080"
                                << "" << 0;
    QTest::newRow("no port") << "127.0.0.1:"
                             << "" << 0;
    QTest::newRow("port too large") << "127.0.0.1:65536"
                                    << "" << 0;
    QTest::newRow("signed port") << "127.0.0.1:+80"
                                 << "" << 0;
    QTest::newRow("IPv6 without brackets") << "::1:8080"
                                           << "" << 0;
    QTest::newRow("host name") << "dashboard.example:8080"
                               << "" << 0;
    QTest::newRow("no address") << ":8080"
                                << "" << 0;
}

void DashboardPartsTest::listenAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    QFETCH(int, port);
    QHostAddress parsed(QHostAddress::Broadcast);
    quint16 parsedPort = 1;
    const bool ok = DashboardCommandLine::parseListen(text, parsed, parsedPort);
    QCOMPARE(ok, !address.isEmpty());
    if (!ok) {
        QCOMPARE(parsed, QHostAddress(QHostAddress::Broadcast)); // left as it was
        return;
    }
    QCOMPARE(parsed, QHostAddress(address));
    QCOMPARE(int(parsedPort), port);
}

void DashboardPartsTest::identicalReportsShareOneQuery()
{
    DashboardApi::Settings settings;
    settings.location = m_location;
    DashboardServer server(settings);
    QString error;
    const quint16 port = server.listen(QHostAddress::LocalHost, 0, &error);
    QVERIFY2(port != 0, qPrintable(error));

    QNetworkAccessManager network;
    const auto ask = [&](const QString &query) {
        return network.get(QNetworkRequest(
            QUrl(QStringLiteral("http://127.0.0.1:%1/api/report?%2").arg(port).arg(query))));
    };
    // Twelve browsers refresh the same figures (six connections at a time, the rest queued).
    QList<QNetworkReply *> replies;
    for (int browser = 0; browser < 12; ++browser)
        replies.append(ask(QStringLiteral("since=2026-12-07&until=2026-12-07")));
    replies.append(ask(QStringLiteral("since=2026-12-07&until=2026-12-07&by=station")));
    for (QNetworkReply *reply : replies) {
        if (!reply->isFinished())
            QVERIFY(QSignalSpy(reply, &QNetworkReply::finished).wait(30'000));
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    }
    const QByteArray body = replies.first()->readAll();
    QCOMPARE(QJsonDocument::fromJson(body)["checkouts"].toInt(), 20);
    for (int browser = 1; browser < 12; ++browser)
        QCOMPARE(replies.at(browser)->readAll(), body);
    QCOMPARE(server.api().reportsMade(), 2);
    qDeleteAll(replies);
}

QTEST_GUILESS_MAIN(DashboardPartsTest)
#include "tst_dashboardparts.moc"
