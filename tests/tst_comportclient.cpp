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

// The answers ser2net gives to the opening, in its order.
const QByteArray Accepted = QByteArray::fromHex("fffd2c");
const QByteArray Settings = QByteArray::fromHex("fffa2c6500002580fff0"
                                                "fffa2c6608fff0fffa2c6701fff0fffa2c6801fff0"
                                                "fffa2c7001fff0");
const QByteArray ControlAnswer = QByteArray::fromHex("fffa2c6908fff0");

} // namespace

void ComPortClientTest::serverBytesSplitIntoDataAndAnswers_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("clearToSend");
    QTest::addColumn<bool>("carrierDetect");

    QTest::newRow("0xFF doubled is one data byte")
        << QList<QByteArray>{QByteArray::fromHex("01ffff02")} << QByteArray::fromHex("01ff02")
        << QByteArray() << false << false;
    QTest::newRow("a doubled 0xFF split across reads")
        << QList<QByteArray>{QByteArray::fromHex("01ff"), QByteArray::fromHex("ff02")}
        << QByteArray::fromHex("01ff02") << QByteArray() << false << false;
    QTest::newRow("modem state split across reads, around data")
        << QList<QByteArray>{QByteArray::fromHex("41fffa2c"), QByteArray::fromHex("6b90fff042")}
        << QByteArray("AB") << QByteArray() << true << true;
    QTest::newRow("modem state: CTS only")
        << QList<QByteArray>{QByteArray::fromHex("fffa2c6b10fff0")} << QByteArray() << QByteArray()
        << true << false;
    // ser2net's greeting: WILL SGA, DO SGA, WILL ECHO, DONT ECHO, DO BINARY, WILL BINARY, DO
    // COM-PORT. Echo is refused; what the opening asked already is not asked again.
    QTest::newRow("greeting answered once")
        << QList<QByteArray>{QByteArray::fromHex("fffb03fffd03fffb01fffe01fffd00fffb00fffd2c"),
                             QByteArray::fromHex("fffd00fffb00")}
        << QByteArray() << QByteArray::fromHex("fffd03fffb03fffe01") << false << false;
}

void ComPortClientTest::serverBytesSplitIntoDataAndAnswers()
{
    QFETCH(QList<QByteArray>, reads);
    ComPortClient client;
    const QByteArray opening = client.opening();
    QVERIFY(opening.startsWith(QByteArray::fromHex("fffb2cfffd00fffb00"))); // COM-PORT, BINARY
    QByteArray data;
    QByteArray answer;
    for (const QByteArray &read : reads)
        answer += client.received(read, data);
    QTEST(data, "data");
    QTEST(answer, "answer");
    QTEST(client.modemLines().clearToSend, "clearToSend");
    QTEST(client.modemLines().dataCarrierDetect, "carrierDetect");
    QCOMPARE(client.dataBytes(QByteArray::fromHex("01ff02")), QByteArray::fromHex("01ffff02"));
}

void ComPortClientTest::settingsAnswers_data()
{
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<ComPortClient::Settings>("settings");
    QTest::addColumn<QString>("problem");

    QTest::newRow("all answered as asked")
        << Accepted + Settings << ComPortClient::Settings::Confirmed << QString();
    QTest::newRow("COM-PORT not yet accepted")
        << Settings << ComPortClient::Settings::Pending << QString();
    QTest::newRow("purge not yet answered")
        << Accepted + Settings.chopped(7) << ComPortClient::Settings::Pending << QString();
    QTest::newRow("another baud rate")
        << Accepted + QByteArray::fromHex("fffa2c65000012c0fff0") + Settings
        << ComPortClient::Settings::Refused
        << QStringLiteral("the serial server set the baud rate to 4800 instead of 9600");
    QTest::newRow("COM-PORT refused")
        << QByteArray::fromHex("fffe2c") << ComPortClient::Settings::Refused
        << QStringLiteral("the server does not offer serial port "
                          "control (RFC 2217)");
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

    QTest::newRow("answer before the reply") << ControlAnswer + "r" << false;
    QTest::newRow("reply without an answer") << QByteArray("r") << true;
}

void ComPortClientTest::unansweredLineChangeIsNoticedOnce()
{
    QFETCH(QByteArray, serverSends);
    ComPortClient client;
    client.opening();
    QByteArray data;
    client.received(Accepted + Settings, data);
    QVERIFY(!client.takeUnansweredControlNotice()); // the flow-control setting is not a line
    // An exchange: DTR on, the request, its reply.
    QCOMPARE(client.control(8), QByteArray::fromHex("fffa2c0508fff0"));
    client.dataBytes("?");
    client.received(serverSends, data);
    QTEST(client.takeUnansweredControlNotice(), "noticed");
    // The next exchange alike: told once at most.
    client.control(8);
    client.dataBytes("?");
    client.received(serverSends, data);
    QCOMPARE(client.takeUnansweredControlNotice(), false);
    QCOMPARE(data, QByteArray("rr"));
}

void ComPortClientTest::portNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");

    QTest::newRow("host name") << "rfc2217://serial-rack.local:7001" << true << "serial-rack.local"
                               << 7001;
    QTest::newRow("IPv4") << "RFC2217://10.0.0.7:2217" << true << "10.0.0.7" << 2217;
    QTest::newRow("IPv6") << "socket://[::1]:4000" << true << "::1" << 4000;
    QTest::newRow("no port") << "rfc2217://10.0.0.7" << false << QString() << 0;
    QTest::newRow("a path") << "rfc2217://10.0.0.7:2217/ttyS0" << false << QString() << 0;
    QTest::newRow("port out of range") << "rfc2217://10.0.0.7:70000" << false << QString() << 0;
}

void ComPortClientTest::portNames()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QVERIFY(NetworkPortName::isNetworkName(name));
    const std::optional<NetworkPortName> parsed = NetworkPortName::parse(name);
    QCOMPARE(parsed.has_value(), valid);
    if (!parsed)
        return;
    QTEST(parsed->host, "host");
    QTEST(int(parsed->port), "port");
}

QTEST_GUILESS_MAIN(ComPortClientTest)
#include "tst_comportclient.moc"
