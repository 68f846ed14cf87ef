#include "bytes.h"
#include "device/readerprotocol.h"
#include "emulator/emulatedline.h"
#include "emulator/emulatedreader.h"
#include "emulator/linefactory.h"
#include "serial/devicetransaction.h"
#include "serial/serialportline.h"
#include "serial/virtualclock.h"

#include <QTest>

namespace {

// A reader with known state on an open line, the clock at a round time.
struct Bench
{
    Bench()
    {
        reader.setModelType(8);
        reader.setFirmwareVersion(3);
        reader.setSerialNumber(1234);
        reader.setOccupiedSlots(0xA5);
        reader.setSelectedSlot(3);
        QVERIFY(line.open());
    }

    // Advances the clock to the given time since the bench was set up.
    void at(qint64 microseconds)
    {
        clock.advanceMicroseconds(microseconds - clock.elapsedMicroseconds());
    }

    void send(const QByteArray &request)
    {
        line.setDataTerminalReady(true);
        QCOMPARE(line.write(request.constData(), request.size()), request.size());
    }

    QByteArray readAll()
    {
        QByteArray got(64, '\0');
        got.resize(line.read(got.data(), got.size()));
        return got;
    }

    VirtualClock clock;
    EmulatedReader reader;
    EmulatedLine line{reader, clock};
};

} // namespace

class EmulatedLineTest : public QObject
{
    Q_OBJECT

private slots:
    void replyArrivesByteByByte_data();
    void replyArrivesByteByByte();
    void readTakesOnlyArrivedBytes();
    void busyLineDelaysNextRequest();
    void lateReplyMissesPolledWindow();
    void requestsWithoutDtrAreIgnored();
    void modemLinesComeFromReader();
    void vanishedDeviceFailsEveryCall();
    void closeDropsBytesInFlight();
    void standardExchangeTakesFiftyMilliseconds();
    void polledExchangeTakesCompleteReply();
    void factoryKeepsReaderAcrossLines();
    void factoryDefaults_data();
    void factoryDefaults();
    void factoryGivesSerialPortForOtherNames();
};

// One byte takes 1041 2/3 us; the reply starts 2 ms after the request's last byte arrived.
// The table gives the first microsecond at which each count of reply bytes is waiting.
void EmulatedLineTest::replyArrivesByteByByte_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QList<qint64>>("arrivals");
    // "?": request in at 1041.67, reply from 3041.67: bytes at 4083.33 and 5125.
    QTest::newRow("? two bytes") << QByteArray("?") << QList<qint64>{4084, 5125};
    // "G": 9 bytes from 3041.67; the ninth at 3041.67 + 9 x 1041.67 = 12416.67.
    QTest::newRow("G nine bytes") << QByteArray("G")
                                  << QList<qint64>{4084, 5125,  6167,  7209, 8250,
                                                   9292, 10334, 11375, 12417};
    // "S" 2 bytes: request in at 2083.33, 6 bytes from 4083.33.
    QTest::newRow("S six bytes") << bytes({'S', 1})
                                 << QList<qint64>{5125, 6167, 7209, 8250, 9292, 10334};
}

void EmulatedLineTest::replyArrivesByteByByte()
{
    QFETCH(QByteArray, request);
    QFETCH(QList<qint64>, arrivals);
    Bench bench;
    bench.send(request);
    QCOMPARE(bench.line.bytesWaiting(), 0);
    for (qsizetype count = 0; count < arrivals.size(); ++count) {
        bench.at(arrivals[count] - 1);
        QCOMPARE(bench.line.bytesWaiting(), count);
        bench.at(arrivals[count]);
        QCOMPARE(bench.line.bytesWaiting(), count + 1);
    }
    QCOMPARE(bench.readAll().size(), arrivals.size());
}

void EmulatedLineTest::readTakesOnlyArrivedBytes()
{
    Bench bench;
    bench.send("G");
    bench.at(6200); // three of nine
    QCOMPARE(bench.readAll(), bytes({'G', 0x04, 0xA5}));
    QCOMPARE(bench.line.bytesWaiting(), 0);
    bench.at(20000);
    QCOMPARE(bench.readAll(), bytes({0x08, 0x03, 0x04, 0xD2, 0x00, 0x00}));
}

void EmulatedLineTest::busyLineDelaysNextRequest()
{
    Bench bench;
    // Eight bytes of dot pattern keep the line busy until 8333.33; "?" follows at 9375,
    // its reply starts at 11375 and is complete at 11375 + 2083.33.
    bench.send(bytes({'d', 0x1F, 0, 0, 0, 0, 0, 0}) + "?");
    bench.at(13458);
    QCOMPARE(bench.line.bytesWaiting(), 1);
    bench.at(13459);
    QCOMPARE(bench.line.bytesWaiting(), 2);
}

void EmulatedLineTest::lateReplyMissesPolledWindow()
{
    Bench bench;
    bench.reader.setFault({FaultKind::Late, ReaderProtocol::TarvikStatus, 1});
    DeviceTransaction transaction(bench.line, bench.clock);
    QCOMPARE(transaction.polled("G", 9), ExchangeStatus::Timeout);
    QCOMPARE(bench.clock.elapsedMilliseconds(), 1050);
    bench.at(1041 + 1100'000 + 9375);
    QCOMPARE(bench.line.bytesWaiting(), 8);
    bench.at(1041 + 1100'000 + 9376);
    QCOMPARE(bench.line.bytesWaiting(), 9);
}

void EmulatedLineTest::requestsWithoutDtrAreIgnored()
{
    Bench bench;
    QVERIFY(!bench.line.dataTerminalReady());
    QCOMPARE(bench.line.write("?", 1), 1);
    bench.at(20000);
    QCOMPARE(bench.line.bytesWaiting(), 0);
    QVERIFY(bench.reader.receivedRequests().isEmpty());

    bench.line.setRequestToSend(true);
    QVERIFY(bench.line.requestToSend());
    bench.send("?");
    QVERIFY(bench.line.dataTerminalReady());
    QVERIFY(bench.reader.dataTerminalReady());
    QCOMPARE(bench.reader.receivedRequests(), QList<QByteArray>{"?"});
}

void EmulatedLineTest::modemLinesComeFromReader()
{
    Bench bench;
    QCOMPARE(bench.line.modemLines().clearToSend, false);
    bench.reader.setClearToSend(true);
    QCOMPARE(bench.line.modemLines().clearToSend, true);
    QCOMPARE(bench.line.modemLines().dataCarrierDetect, false);
    bench.reader.setDataCarrierDetect(true);
    QCOMPARE(bench.line.modemLines().dataCarrierDetect, true);
}

void EmulatedLineTest::vanishedDeviceFailsEveryCall()
{
    Bench bench;
    bench.reader.setClearToSend(true);
    bench.send("?");
    bench.reader.setFault({FaultKind::Vanished});
    bench.at(10000);
    char byte = 0;
    QCOMPARE(bench.line.bytesWaiting(), -1);
    QCOMPARE(bench.line.read(&byte, 1), -1);
    QCOMPARE(bench.line.write("?", 1), -1);
    QCOMPARE(bench.line.modemLines().clearToSend, false);
    QVERIFY(!bench.line.isOpen());
    QVERIFY(!bench.line.errorText().isEmpty());

    // Back again: the open line stays dead until closed, as after a pulled adapter.
    bench.reader.setVanished(false);
    QCOMPARE(bench.line.bytesWaiting(), -1);
    bench.line.close();

    bench.reader.setVanished(true);
    QVERIFY(!bench.line.open());
    QCOMPARE(bench.line.openFailure(), OpenFailure::NoSuchPort);
    bench.reader.setVanished(false);
    QVERIFY(bench.line.open());
    QCOMPARE(bench.line.openFailure(), OpenFailure::None);
    QCOMPARE(bench.line.bytesWaiting(), 0); // the reply that was on its way is gone
    bench.send("?");
    bench.at(20000);
    QCOMPARE(bench.readAll(), bytes({0xA5, 3}));
}

void EmulatedLineTest::closeDropsBytesInFlight()
{
    Bench bench;
    bench.send("G");
    bench.at(5000);
    bench.line.close();
    QVERIFY(!bench.reader.dataTerminalReady());
    QCOMPARE(bench.line.bytesWaiting(), -1);
    QVERIFY(bench.line.open());
    bench.at(50000);
    QCOMPARE(bench.line.bytesWaiting(), 0);
}

void EmulatedLineTest::standardExchangeTakesFiftyMilliseconds()
{
    Bench bench;
    DeviceTransaction transaction(bench.line, bench.clock);
    QCOMPARE(transaction.standard("?", ReaderProtocol::StatusReply), ExchangeStatus::Done);
    QCOMPARE(transaction.reply(2), bytes({0xA5, 3}));
    QCOMPARE(bench.clock.elapsedMicroseconds(), 50'000);
    QVERIFY(!bench.line.dataTerminalReady());
}

void EmulatedLineTest::polledExchangeTakesCompleteReply()
{
    Bench bench;
    DeviceTransaction transaction(bench.line, bench.clock);
    // Not there at the write, complete at the first check after one wait.
    QCOMPARE(transaction.polled("G", ReaderProtocol::TarvikStatusReply), ExchangeStatus::Done);
    QCOMPARE(bench.clock.elapsedMilliseconds(), 50);
    QCOMPARE(quint8(transaction.reply(9).at(2)), quint8(0xA5));
}

void EmulatedLineTest::factoryKeepsReaderAcrossLines()
{
    VirtualClock clock;
    LineFactory factory(clock);
    EmulatedReader &reader = factory.emulatedReader("emu-vorn8");
    {
        std::unique_ptr<SerialLine> line = factory.create("emu-vorn8");
        QCOMPARE(line->portName(), QStringLiteral("emu-vorn8"));
        QVERIFY(line->open());
        DeviceTransaction transaction(*line, clock);
        transaction.writeOnly(bytes({'c', 0x01, 0xC0}));
        WriteSequence store(transaction);
        store.send(QByteArray("p\x5A\xC3", 3), 50);
        store.send("m", 50);
    }
    QCOMPARE(&factory.emulatedReader("emu-vorn8"), &reader);
    QCOMPARE(reader.storedClocks(), quint16(0x01C0));

    reader.powerCycle();
    std::unique_ptr<SerialLine> line = factory.create("emu-vorn8");
    QVERIFY(line->open());
    DeviceTransaction transaction(*line, clock);
    QCOMPARE(transaction.standard("g", 2), ExchangeStatus::Done);
    QCOMPARE(transaction.reply(2), bytes({0x01, 0xC0}));
    QVERIFY(&factory.emulatedReader("emu-vorn4") != &reader);
}

void EmulatedLineTest::factoryDefaults_data()
{
    QTest::addColumn<QString>("portName");
    QTest::addColumn<QByteArray>("identification"); // replies to "v", "t", "n"
    QTest::newRow("emu-vorn8") << QStringLiteral("emu-vorn8") << bytes({3, 8, 0x04, 0xD2});
    QTest::newRow("emu-vorn4") << QStringLiteral("emu-vorn4") << bytes({2, 4, 0x10, 0xE1});
}

void EmulatedLineTest::factoryDefaults()
{
    QFETCH(QString, portName);
    QFETCH(QByteArray, identification);
    QCOMPARE(LineFactory::emulatedPortNames(), QStringList({"emu-vorn8", "emu-vorn4"}));
    VirtualClock clock;
    LineFactory factory(clock);
    std::unique_ptr<SerialLine> line = factory.create(portName);
    QVERIFY(line->open());
    DeviceTransaction transaction(*line, clock);
    ChainedExchange identify(transaction);
    QByteArray got;
    const QList<std::pair<QByteArray, qsizetype>> steps{{"v", 1}, {"t", 1}, {"n", 2}};
    for (const auto &[request, length] : steps) {
        QCOMPARE(identify.step(request, length), ExchangeStatus::Done);
        got += transaction.reply(length).toByteArray();
    }
    QCOMPARE(got, identification);
}

void EmulatedLineTest::factoryGivesSerialPortForOtherNames()
{
    VirtualClock clock;
    LineFactory factory(clock);
    const std::unique_ptr<SerialLine> line = factory.create("ttyUSB7");
    QVERIFY(dynamic_cast<SerialPortLine *>(line.get()));
    QCOMPARE(line->portName(), QStringLiteral("ttyUSB7"));
}

QTEST_GUILESS_MAIN(EmulatedLineTest)
#include "tst_emulatedline.moc"
