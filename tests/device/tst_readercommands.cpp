#include "device/readercommands.h"
#include "device/readerprotocol.h"
#include "recordingline.h"
#include "serial/devicetransaction.h"

#include <QTest>

#include <functional>

// Each case runs one reader command against a line that answers every request with the
// next scripted reply, and compares the whole conversation: bytes, DTR, waits and reads.
class ReaderCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void conversation_data();
    void conversation();
    void identificationStopsAtFailedStep_data();
    void identificationStopsAtFailedStep();
    void echoSubstitutesQuestionMark_data();
    void echoSubstitutesQuestionMark();
    void tarvikStatusTakesByteTwo();
    void tarvikTimeout();

private:
    struct Fixture
    {
        RecordingLine line;
        DeviceTransaction transaction{line, line.clock()};
        ReaderCommands commands{transaction};
        QList<QByteArray> replies;

        explicit Fixture(QList<QByteArray> scripted) : replies(std::move(scripted))
        {
            line.setOnWrite([this](const QByteArray &) {
                if (!replies.isEmpty())
                    line.feed(replies.takeFirst());
            });
        }
    };
};

using Operation = std::function<void(ReaderCommands &)>;
Q_DECLARE_METATYPE(Operation)

void ReaderCommandsTest::conversation_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<QStringList>("log");

    const QString unlock = QStringLiteral("W 70 %1 %2")
                               .arg(ReaderProtocol::UnlockCode[0], 2, 16, QLatin1Char('0'))
                               .arg(ReaderProtocol::UnlockCode[1], 2, 16, QLatin1Char('0'));

    QTest::newRow("status") << Operation([](ReaderCommands &c) {
        const auto status = c.readStatus();
        QVERIFY(status.ok());
        QCOMPARE(status.value.occupancy, quint8(0xA5));
        QCOMPARE(status.value.selectedSlot, quint8(3));
    }) << QList<QByteArray>{"\xA5\x03"}
                            << QStringList{"C", "DTR 1", "W 3f", "S 50", "C", "R 2", "DTR 0"};
    QTest::newRow("select first slot")
        << Operation([](ReaderCommands &c) { c.selectSlot(0); }) << QList<QByteArray>{}
        << QStringList{"DTR 1", "W 73 00", "S 50", "DTR 0"};
    QTest::newRow("select last slot")
        << Operation([](ReaderCommands &c) { c.selectSlot(7); }) << QList<QByteArray>{}
        << QStringList{"DTR 1", "W 73 07", "S 50", "DTR 0"};
    QTest::newRow("identify") << Operation([](ReaderCommands &c) {
        const Identification id = c.identify();
        QVERIFY(id.ok());
        QCOMPARE(id.text(), QStringLiteral("Version: 3 - Type Vorn8 - SN: 001234"));
    }) << QList<QByteArray>{"\x03", "\x08", "\x04\xD2"}
                              << QStringList{"C",    "DTR 1", "W 76", "S 50", "C",
                                             "R 1",  "W 74",  "S 50", "C",    "R 1",
                                             "W 6e", "S 50",  "C",    "R 2",  "DTR 0"};
    QTest::newRow("read clocks") << Operation([](ReaderCommands &c) {
        const auto clocks = c.readClocks();
        QVERIFY(clocks.ok());
        QCOMPARE(clocks.value.firstByte(), quint8(0x1B));
        QCOMPARE(clocks.value.secondByte(), quint8(0xE4));
    }) << QList<QByteArray>{"\x1B\xE4"}
                                 << QStringList{"C", "DTR 1", "W 67", "S 50", "C", "R 2", "DTR 0"};
    QTest::newRow("write clocks") << Operation([](ReaderCommands &c) {
        c.writeClocks(ClockSelection({0, 0, 0, 3, 1, 0, 0, 0}));
    }) << QList<QByteArray>{} << QStringList{"DTR 1", "W 63 01 c0", "S 50", "DTR 0"};
    QTest::newRow("store clocks") << Operation([](ReaderCommands &c) {
        c.storeClocks(ClockSelection({0, 0, 0, 3, 1, 0, 0, 0}));
    }) << QList<QByteArray>{} << QStringList{"DTR 1", "W 63 01 c0", "S 50", "DTR 0", "DTR 1",
                                             unlock,  "S 50",       "W 6d", "S 50",  "DTR 0"};
    QTest::newRow("read time") << Operation([](ReaderCommands &c) {
        const auto counts = c.readTimeCounts();
        QVERIFY(counts.ok());
        QCOMPARE(counts.value, quint16(0x8000));
    }) << QList<QByteArray>{QByteArray("\x80\x00", 2)}
                               << QStringList{"C", "DTR 1", "W 72", "S 50", "C", "R 2", "DTR 0"};
    QTest::newRow("store time 10 s")
        << Operation([](ReaderCommands &c) { c.storeTimeCounts(1530); }) << QList<QByteArray>{}
        << QStringList{"DTR 1", unlock, "S 50", "W 6f 05 fa", "S 50", "DTR 0"};
    QTest::newRow("echo") << Operation([](ReaderCommands &c) {
        const EchoResult echo = c.echo('a');
        QCOMPARE(echo.error, DeviceError::None);
        QCOMPARE(echo.echoed, quint8('a'));
    }) << QList<QByteArray>{"a"}
                          << QStringList{"C", "DTR 1", "W 65 61", "S 50", "C", "R 1", "DTR 0"};
    QTest::newRow("tarvik select slot 8")
        << Operation([](ReaderCommands &c) { QCOMPARE(c.tarvikSelectSlot(8), DeviceError::None); })
        << QList<QByteArray>{"SSSSSS"} << QStringList{"C", "DTR 1", "W 53 08", "C", "R 6", "DTR 0"};
}

void ReaderCommandsTest::conversation()
{
    QFETCH(Operation, operation);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QStringList, log);
    Fixture fixture(replies);
    operation(fixture.commands);
    QCOMPARE(fixture.line.log(), log);
}

void ReaderCommandsTest::identificationStopsAtFailedStep_data()
{
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<bool>("versionKnown");
    QTest::addColumn<bool>("modelKnown");
    QTest::addColumn<int>("writes");
    QTest::newRow("v answers twice") << QList<QByteArray>{"\x03\x03"} << false << false << 1;
    QTest::newRow("t silent") << QList<QByteArray>{"\x03", ""} << true << false << 2;
    QTest::newRow("n silent") << QList<QByteArray>{"\x03", "\x04", ""} << true << true << 3;
    QTest::newRow("n short") << QList<QByteArray>{"\x03", "\x04", "\x01"} << true << true << 3;
}

void ReaderCommandsTest::identificationStopsAtFailedStep()
{
    QFETCH(QList<QByteArray>, replies);
    QFETCH(bool, versionKnown);
    QFETCH(bool, modelKnown);
    QFETCH(int, writes);
    Fixture fixture(replies);
    const Identification id = fixture.commands.identify();
    QCOMPARE(id.error, DeviceError::ReadError);
    QCOMPARE(id.version.has_value(), versionKnown);
    QCOMPARE(id.modelType.has_value(), modelKnown);
    QVERIFY(!id.serialNumber);
    QCOMPARE(fixture.line.logOf({"W"}).size(), writes);
    QCOMPARE(fixture.line.log().last(), QStringLiteral("DTR 0"));
    QCOMPARE(fixture.line.logOf({"DTR"}), QStringList({"DTR 1", "DTR 0"}));
}

void ReaderCommandsTest::echoSubstitutesQuestionMark_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<quint8>("shown");
    QTest::addColumn<bool>("error");
    QTest::newRow("no answer") << QByteArray() << quint8('?') << true;
    QTest::newRow("two bytes") << QByteArray("xx") << quint8('?') << true;
    QTest::newRow("NUL echoed") << QByteArray(1, '\0') << quint8(0) << false;
    QTest::newRow("e acute") << QByteArray("\xE9") << quint8(0xE9) << false;
}

void ReaderCommandsTest::echoSubstitutesQuestionMark()
{
    QFETCH(QByteArray, reply);
    QFETCH(quint8, shown);
    QFETCH(bool, error);
    Fixture fixture({reply});
    const EchoResult echo = fixture.commands.echo('x');
    QCOMPARE(echo.echoed, shown);
    QCOMPARE(echo.error != DeviceError::None, error);
    QVERIFY(!fixture.line.dtr());
}

void ReaderCommandsTest::tarvikStatusTakesByteTwo()
{
    Fixture fixture({QByteArray("\x47\x01\x81\x00\x00\x00\x00\x00\x00", 9)});
    const auto status = fixture.commands.tarvikStatus();
    QVERIFY(status.ok());
    QCOMPARE(status.value, quint8(0x81));
}

void ReaderCommandsTest::tarvikTimeout()
{
    Fixture fixture({QByteArray(10, 'x')});
    const auto status = fixture.commands.tarvikStatus();
    QCOMPARE(status.error, DeviceError::Timeout);
    QCOMPARE(deviceErrorText(status.error), QStringLiteral("Timeout at reading Device!"));
    QCOMPARE(fixture.line.waitedMs(), 1050);
}

QTEST_GUILESS_MAIN(ReaderCommandsTest)
#include "tst_readercommands.moc"
