#include "serial/comportclient.h"
#include "serial/networkportname.h"

#include <QTest>

// The RFC 2217 client without a socket: what a serial server's bytes mean to it, and what it
// sends back.
class ComPortClientTest : public QObject
{
    Q_OBJECT

private slots:
    void serverBytesSplitIntoDataAndAnswers_data();
    void serverBytesSplitIntoDataAndAnswers();
    void settingsAnswers_data();
    void settingsAnswers();
    void unansweredLineChangeIsNoticedOnce_data();
    void unansweredLineChangeIsNoticedOnce();
    void portNames_data();
    void portNames();
};

namespace {

using Reads = QList<QByteArray>;
// The answers ser2net gives to the opening, in its order.
const QByteArray Accepted = QByteArray::fromHex("fffd2c");
const QByteArray Settings = QByteArray::fromHex("fffa2c6500002580fff0fffa2c6608fff0"
                                                "fffa2c6701fff0fffa2c6801fff0fffa2c7001fff0");

} // namespace

void ComPortClientTest::serverBytesSplitIntoDataAndAnswers_data()
{
    QTest::addColumn<Reads>("reads");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("clearToSend");

    QTest::newRow("a doubled 0xFF split across reads")
        << Reads{QByteArray::fromHex("01ff"), QByteArray::fromHex("ff02")}
        << QByteArray::fromHex("01ff02") << QByteArray() << false;
    QTest::newRow("modem state split across reads, around data")
        << Reads{QByteArray::fromHex("41fffa2c"), QByteArray::fromHex("6b90fff042")}
        << QByteArray("AB") << QByteArray() << true;
    // ser2net's greeting: WILL SGA, DO SGA, WILL ECHO, DONT ECHO, DO BINARY, WILL BINARY, DO
    // COM-PORT. Echo is refused; what the opening asked already is not asked again.
    QTest::newRow("greeting answered once")
        << Reads{QByteArray::fromHex("fffb03fffd03fffb01fffe01fffd00fffb00fffd2c"),
                 QByteArray::fromHex("fffd00fffb00")}
        << QByteArray() << QByteArray::fromHex("fffd03fffb03fffe01") << false;
}

void ComPortClientTest::serverBytesSplitIntoDataAndAnswers()
{
    QFETCH(Reads, reads);
    ComPortClient client;
    QVERIFY(client.opening().startsWith(QByteArray::fromHex("fffb2cfffd00fffb00")));
    QByteArray data;
    QByteArray answer;
    for (const QByteArray &read : reads)
        answer += client.received(read, data);
    QTEST(data, "data");
    QTEST(answer, "answer");
    QTEST(client.modemLines().clearToSend, "clearToSend");
    QCOMPARE(client.dataBytes(QByteArray::fromHex("01ff02")), QByteArray::fromHex("01ffff02"));
}

void ComPortClientTest::settingsAnswers_data()
{
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<ComPortClient::Settings>("settings");
    QTest::addColumn<QString>("problem");

    QTest::newRow("all answered as asked")
        << Accepted + Settings << ComPortClient::Settings::Confirmed << QString();
    QTest::newRow("purge not yet answered")
        << Accepted + Settings.chopped(7) << ComPortClient::Settings::Pending << QString();
    QTest::newRow("another baud rate")
        << Accepted + QByteArray::fromHex("fffa2c65000012c0fff0") + Settings
        << ComPortClient::Settings::Refused
        << QStringLiteral("the serial server set the baud rate to 4800 instead of 9600");
}

void ComPortClientTest::settingsAnswers()
{
    QFETCH(QByteArray, answers);
    ComPortClient client;
    client.opening();
    QByteArray data;
    client.received(answers, data);
    QTEST(client.settings(), "settings");
    QTEST(client.settingsProblem(), "problem");
    QVERIFY(data.isEmpty());
}

void ComPortClientTest::unansweredLineChangeIsNoticedOnce_data()
{
    QTest::addColumn<QByteArray>("serverSends");
    QTest::addColumn<bool>("noticed");

    QTest::newRow("answer before the reply") << QByteArray::fromHex("fffa2c6908fff072") << false;
    QTest::newRow("reply without an answer") << QByteArray("r") << true;
}

void ComPortClientTest::unansweredLineChangeIsNoticedOnce()
{
    QFETCH(QByteArray, serverSends);
    QFETCH(bool, noticed);
    ComPortClient client;
    client.opening();
    QByteArray data;
    client.received(Accepted + Settings, data);
    for (const bool firstExchange : {true, false}) {
        // DTR on, the request, what the server sends back: told the first time at most.
        QCOMPARE(client.control(8), QByteArray::fromHex("fffa2c0508fff0"));
        client.dataBytes("?");
        client.received(serverSends, data);
        QCOMPARE(client.takeUnansweredControlNotice(), firstExchange && noticed);
    }
    QCOMPARE(data, QByteArray("rr"));
}

void ComPortClientTest::portNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parsed");

    QTest::newRow("IPv6") << "socket://[::1]:4000"
                          << "::1 4000";
    QTest::newRow("no port") << "rfc2217://10.0.0.7" << QString();
    QTest::newRow("a path") << "rfc2217://10.0.0.7:2217/ttyS0" << QString();
}

void ComPortClientTest::portNames()
{
    QFETCH(QString, name);
    QVERIFY(NetworkPortName::isNetworkName(name));
    const std::optional<NetworkPortName> port = NetworkPortName::parse(name);
    QTEST(port ? QStringLiteral("%1 %2").arg(port->host).arg(port->port) : QString(), "parsed");
}

QTEST_GUILESS_MAIN(ComPortClientTest)
#include "tst_comportclient.moc"
