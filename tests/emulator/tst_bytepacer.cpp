#include "emulator/bytepacer.h"
#include "emulator/emulatedreader.h"

#include <QTest>

#include <array>

namespace {

constexpr qint64 Byte = BytePacer::ByteTicks;

QByteArray takeIntoBuffer(BytePacer &pacer, qint64 now, qsizetype maxSize)
{
    std::array<char, 16> buffer{};
    const qsizetype count = pacer.takeArrived(now, buffer.data(), maxSize);
    return QByteArray(buffer.data(), count);
}

} // namespace

class BytePacerTest : public QObject
{
    Q_OBJECT

private slots:
    void takesOnlyArrivedBytes_data();
    void takesOnlyArrivedBytes();
    void lineThatNeverRunsEmptyKeepsOrder();
    void requestLogKeepsTheLatest();
};

void BytePacerTest::takesOnlyArrivedBytes_data()
{
    QTest::addColumn<qint64>("now");
    QTest::addColumn<qsizetype>("maxSize");
    QTest::addColumn<QByteArray>("taken");
    QTest::addColumn<QByteArray>("takenNext");

    QTest::newRow("first byte still on its way")
        << Byte - 1 << qsizetype(9) << QByteArray() << QByteArray("abc");
    QTest::newRow("first byte just in")
        << Byte << qsizetype(9) << QByteArray("a") << QByteArray("bc");
    QTest::newRow("all in, room for two")
        << 3 * Byte << qsizetype(2) << QByteArray("ab") << QByteArray("c");
    QTest::newRow("all in, room for all")
        << 3 * Byte << qsizetype(9) << QByteArray("abc") << QByteArray();
    QTest::newRow("no room") << 3 * Byte << qsizetype(0) << QByteArray() << QByteArray("abc");
}

// Bytes sent at tick 0 arrive one byte time apart; a take never hands out a byte before its
// arrival nor more than asked for, and what it leaves is taken next, in order.
void BytePacerTest::takesOnlyArrivedBytes()
{
    QFETCH(qint64, now);
    QFETCH(qsizetype, maxSize);
    QFETCH(QByteArray, taken);
    QFETCH(QByteArray, takenNext);

    BytePacer pacer;
    pacer.send("abc", 0);
    QCOMPARE(takeIntoBuffer(pacer, now, maxSize), taken);
    QCOMPARE(pacer.takeArrived(3 * Byte, 9), takenNext);
    QCOMPARE(pacer.nextArrival(), std::optional<qint64>());
    QCOMPARE(pacer.arrivedCount(10 * Byte), 0);
}

// Each take leaves the newest byte on its way, so the kept storage never runs empty and must be
// compacted on the way; no byte may be lost, doubled or reordered.
void BytePacerTest::lineThatNeverRunsEmptyKeepsOrder()
{
    BytePacer pacer;
    QByteArray sent;
    QByteArray taken;
    qint64 now = 0;
    for (int i = 0; i < 3000; ++i) {
        const char byte = char(i * 7);
        sent.append(byte);
        pacer.send(QByteArrayView(&byte, 1), now);
        now += Byte;
        taken += takeIntoBuffer(pacer, now - 1, 16);
        QCOMPARE(pacer.nextArrival(), std::optional<qint64>(now));
    }
    taken += pacer.takeArrived(now, sent.size());
    QCOMPARE(taken, sent);
}

// A reader served for long keeps only its latest requests, oldest first.
void BytePacerTest::requestLogKeepsTheLatest()
{
    EmulatedReader reader;
    reader.setRequireDtr(false);
    const int extra = 5;
    for (int i = 0; i < EmulatedReader::RequestLogLimit + extra; ++i)
        reader.receive(QByteArray("e") + char(i));
    const QList<QByteArray> log = reader.receivedRequests();
    QCOMPARE(log.size(), EmulatedReader::RequestLogLimit);
    QCOMPARE(log.first(), QByteArray("e") + char(extra));
    QCOMPARE(log.last(), QByteArray("e") + char(EmulatedReader::RequestLogLimit + extra - 1));
}

QTEST_GUILESS_MAIN(BytePacerTest)
#include "tst_bytepacer.moc"
