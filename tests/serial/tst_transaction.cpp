#include "recordingline.h"
#include "serial/devicetransaction.h"
#include "serial/exchangetrace.h"

#include <QBuffer>

#include <QTest>

class TransactionTest : public QObject
{
    Q_OBJECT

private slots:
    void drainReadsInChunksOfNine();
    void drainStopsOnLineError();
    void standardChecksExactCount_data();
    void standardChecksExactCount();
    void nonAbortingPutsSubstitute();
    void chainedStopsAtFailedStep();
    void writeOnlyNeitherDrainsNorReads();
    void emptyWriteSequenceStillBracketsDtr();
    void polledReplyCompleteAtOnceTakesNoWait();
    void polledReplyArrivingInPiecesIsTakenWhenComplete();
    void polledTimeoutAfterTwentyOneChecks();
    void polledOnALostLineEndsAtOnce();
    void dtrReleasedAfterHandAssert();
    void traceShowsTheConversation();
};

void TransactionTest::drainReadsInChunksOfNine()
{
    RecordingLine line;
    DeviceTransaction tx(line, line.clock());
    line.feed(QByteArray(20, 'x'));
    tx.drain();
    QCOMPARE(line.logOf({"R"}), QStringList({"R 9", "R 9", "R 2"}));
    QCOMPARE(line.bytesWaiting(), 0);
    QCOMPARE(line.waitedMs(), 0);
}

void TransactionTest::drainStopsOnLineError()
{
    RecordingLine line;
    DeviceTransaction tx(line, line.clock());
    line.setCountError(true);
    QCOMPARE(tx.standard("?", 2), ExchangeStatus::WrongReplyLength);
    QCOMPARE(line.log(), QStringList({"C", "DTR 1", "W 3f", "S 50", "C", "DTR 0"}));
}

void TransactionTest::standardChecksExactCount_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok");
    QTest::newRow("exact") << QByteArray("\xA5\x03", 2) << true;
    QTest::newRow("none") << QByteArray() << false;
    QTest::newRow("short") << QByteArray("\xA5", 1) << false;
    QTest::newRow("one byte long") << QByteArray("\xA5\x03\x00", 3) << false;
}

void TransactionTest::standardChecksExactCount()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    RecordingLine line;
    DeviceTransaction tx(line, line.clock());
    line.setOnWrite([&](const QByteArray &) { line.feed(reply); });
    const ExchangeStatus status = tx.standard("?", 2);
    QCOMPARE(status == ExchangeStatus::Done, ok);
    QStringList expected{"C", "DTR 1", "W 3f", "S 50", "C"};
    if (ok)
        expected << "R 2";
    expected << "DTR 0";
    QCOMPARE(line.log(), expected);
    if (ok)
        QCOMPARE(tx.reply(2), QByteArrayView(reply));
    else
        QCOMPARE(line.bytesWaiting(), reply.size()); // a failed reply stays for the next drain
}

void TransactionTest::nonAbortingPutsSubstitute()
{
    RecordingLine line;
    DeviceTransaction tx(line, line.clock());
    QCOMPARE(tx.nonAborting("ea", 1, "?"), ExchangeStatus::WrongReplyLength);
    QCOMPARE(tx.buffer().at(0), quint8('?'));
    QVERIFY(!line.dtr());
}

void TransactionTest::chainedStopsAtFailedStep()
{
    RecordingLine line;
    DeviceTransaction tx(line, line.clock());
    line.feed("junk");
    line.setOnWrite([&](const QByteArray &request) {
        if (request == "v")
            line.feed("\x03");
        else if (request == "t")
            line.feed("\x08\x08"); // one byte too many
    });
    {
        ChainedExchange chain(tx);
        QCOMPARE(chain.step("v", 1), ExchangeStatus::Done);
        QCOMPARE(tx.buffer().at(0), quint8(3));
        QCOMPARE(chain.step("t", 1), ExchangeStatus::WrongReplyLength);
        QVERIFY(!line.dtr()); // released at the failure, not at the end of the scope
        QCOMPARE(chain.step("n", 2), ExchangeStatus::WrongReplyLength);
    }
    QCOMPARE(line.log(), QStringList({"C", "R 4", "C", "DTR 1", "W 76", "S 50", "C", "R 1", "W 74",
                                      "S 50", "C", "DTR 0"}));
}

void TransactionTest::writeOnlyNeitherDrainsNorReads()
{
    RecordingLine line;
    DeviceTransaction tx(line, line.clock());
    line.feed("left over");
    tx.writeOnly(QByteArrayView("s\x07", 2));
    QCOMPARE(line.log(), QStringList({"DTR 1", "W 73 07", "S 50", "DTR 0"}));
}

void TransactionTest::emptyWriteSequenceStillBracketsDtr()
{
    RecordingLine line;
    DeviceTransaction tx(line, line.clock());
    {
        WriteSequence sequence(tx);
    }
    QCOMPARE(line.log(), QStringList({"DTR 1", "DTR 0"}));
}

void TransactionTest::polledReplyCompleteAtOnceTakesNoWait()
{
    RecordingLine line;
    DeviceTransaction tx(line, line.clock());
    line.setOnWrite([&](const QByteArray &) { line.feed(QByteArray(9, '\x81')); });
    QCOMPARE(tx.polled("G", 9), ExchangeStatus::Done);
    QCOMPARE(line.log(), QStringList({"C", "DTR 1", "W 47", "C", "R 9", "DTR 0"}));
}

void TransactionTest::polledReplyArrivingInPiecesIsTakenWhenComplete()
{
    RecordingLine line;
    DeviceTransaction tx(line, line.clock());
    int waits = 0;
    line.clock().setSleepObserver([&](int) {
        // three bytes arrive during each wait
        if (++waits <= 3)
            line.feed("abc");
    });
    QCOMPARE(tx.polled("G", 9), ExchangeStatus::Done);
    QCOMPARE(waits, 3);
    QCOMPARE(tx.reply(9), QByteArrayView("abcabcabc"));
}

void TransactionTest::polledOnALostLineEndsAtOnce()
{
    // A network line whose server hung up after the request: no second of checks follows.
    RecordingLine line;
    DeviceTransaction tx(line, line.clock());
    line.setOnWrite([&](const QByteArray &) { line.setCountError(true); });
    QCOMPARE(tx.polled("G", 9), ExchangeStatus::Timeout);
    QCOMPARE(line.waitedMs(), 0);
    QCOMPARE(line.log().last(), QStringLiteral("DTR 0"));
}

void TransactionTest::polledTimeoutAfterTwentyOneChecks()
{
    RecordingLine line;
    DeviceTransaction tx(line, line.clock());
    line.setOnWrite([&](const QByteArray &) { line.feed(QByteArray(10, 'x')); });
    QCOMPARE(tx.polled("G", 9), ExchangeStatus::Timeout);
    QCOMPARE(line.logOf({"C"}).size(), 1 + 21);
    QCOMPARE(line.logOf({"S"}).size(), 21);
    QCOMPARE(line.waitedMs(), 1050);
    QVERIFY(line.logOf({"R"}).isEmpty());
    QCOMPARE(line.log().last(), QStringLiteral("DTR 0"));
}

void TransactionTest::dtrReleasedAfterHandAssert()
{
    RecordingLine line;
    DeviceTransaction tx(line, line.clock());
    line.setDataTerminalReady(true);
    tx.writeOnly("m");
    QVERIFY(!line.dtr());
    line.setDataTerminalReady(true);
    tx.standard("r", 2);
    QVERIFY(!line.dtr());
    line.setDataTerminalReady(true);
    tx.polled(QByteArrayView("S\x01", 2), 6);
    QVERIFY(!line.dtr());
}

void TransactionTest::traceShowsTheConversation()
{
    RecordingLine line;
    DeviceTransaction tx(line, line.clock());
    QBuffer output;
    output.open(QIODevice::WriteOnly);
    TextTrace trace(output, line.clock());
    tx.setTrace(&trace);
    tx.setCommandName("status");
    line.feed("\x01");
    line.setOnWrite([&](const QByteArray &) { line.feed(QByteArray("\xA5\x03", 2)); });
    tx.standard("?", 2);
    const QStringList lines = QString::fromLatin1(output.data()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines,
             QStringList({"      0 < 01  |.| drained  [status]", "      0   DTR on  [status]",
                          "      0 > 3f  |?|  [status]", "      0   wait 50 ms  [status]",
                          "     50   2 bytes waiting  [status]", "     50 < a5 03  |..|  [status]",
                          "     50   DTR off  [status]"}));
}

QTEST_GUILESS_MAIN(TransactionTest)
#include "tst_transaction.moc"
