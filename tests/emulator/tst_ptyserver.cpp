#include "bytes.h"
#include "serial/devicetransaction.h"
#include "serial/realclock.h"
#include "serial/serialportline.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "emulatorprocess.h"

#include <csignal>

class PtyServerTest : public QObject
{
    Q_OBJECT

private slots:
    void answersThroughSerialPort();
    void clientsMayComeAndGo();
    void linkLivesAsLongAsServer();
    void stopSignalEndsCleanly_data();
    void stopSignalEndsCleanly();
    void refusesBadNumbers();
};

void PtyServerTest::answersThroughSerialPort()
{
    EmulatorProcess emulator;
    QVERIFY(emulator.start(
        QStringLiteral(VORN_EMULATOR_PATH),
        {"--model", "4", "--version", "7", "--serial", "4660", "--cards", "0b1010"}));
    SerialPortLine line(emulator.terminalPath());
    QVERIFY2(line.open(), qPrintable(line.errorText()));
    RealClock clock;
    DeviceTransaction transaction(line, clock);

    QCOMPARE(transaction.standard("?", 2), ExchangeStatus::Done);
    QCOMPARE(transaction.reply(2), bytes({0x0A, 0x00}));

    ChainedExchange identify(transaction);
    QCOMPARE(identify.step("v", 1), ExchangeStatus::Done);
    QCOMPARE(transaction.reply(1), bytes({7}));
    QCOMPARE(identify.step("t", 1), ExchangeStatus::Done);
    QCOMPARE(transaction.reply(1), bytes({4}));
    QCOMPARE(identify.step("n", 2), ExchangeStatus::Done);
    QCOMPARE(transaction.reply(2), bytes({0x12, 0x34}));
}

void PtyServerTest::clientsMayComeAndGo()
{
    EmulatorProcess emulator;
    QVERIFY(emulator.start(QStringLiteral(VORN_EMULATOR_PATH), {}));
    RealClock clock;
    for (int round = 0; round < 3; ++round) {
        SerialPortLine line(emulator.terminalPath());
        QVERIFY2(line.open(), qPrintable(line.errorText()));
        DeviceTransaction transaction(line, clock);
        QCOMPARE(transaction.nonAborting(QByteArray("e") + char('a' + round), 1, "?"),
                 ExchangeStatus::Done);
        QCOMPARE(transaction.reply(1), QByteArray(1, char('a' + round)));
        // The default reader is an eight-slot one; its Tarvik status answers in time.
        QCOMPARE(transaction.polled("G", 9), ExchangeStatus::Done);
        QCOMPARE(quint8(transaction.reply(9).at(2)), quint8(0x25));
    }
    QCOMPARE(emulator.process().state(), QProcess::Running);
}

void PtyServerTest::linkLivesAsLongAsServer()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString link = folder.filePath(QStringLiteral("vorn"));
    EmulatorProcess emulator;
    QVERIFY(emulator.start(QStringLiteral(VORN_EMULATOR_PATH), {"--link", link}));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), emulator.terminalPath());

    SerialPortLine line(link);
    QVERIFY2(line.open(), qPrintable(line.errorText()));
    RealClock clock;
    DeviceTransaction transaction(line, clock);
    QCOMPARE(transaction.standard("t", 1), ExchangeStatus::Done);
    QCOMPARE(transaction.reply(1), bytes({8}));
    line.close();

    QVERIFY(emulator.stop(SIGTERM));
    QCOMPARE(emulator.process().exitCode(), 0);
    QVERIFY(!QFileInfo::exists(link));
    QVERIFY(!QFileInfo(link).isSymLink());
}

void PtyServerTest::stopSignalEndsCleanly_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
}

void PtyServerTest::stopSignalEndsCleanly()
{
    QFETCH(int, signal);
    EmulatorProcess emulator;
    QVERIFY(emulator.start(QStringLiteral(VORN_EMULATOR_PATH), {}));
    QVERIFY(emulator.stop(signal));
    QCOMPARE(emulator.process().exitCode(), 0);
}

void PtyServerTest::refusesBadNumbers()
{
    QProcess process;
    process.start(QStringLiteral(VORN_EMULATOR_PATH), {"--serial", "65536"});
    QVERIFY(process.waitForFinished(10'000));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(process.readAllStandardError().contains("--serial"));
}

QTEST_GUILESS_MAIN(PtyServerTest)
#include "tst_ptyserver.moc"
