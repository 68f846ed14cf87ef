#include "device/readerprotocol.h"
#include "emulator/emulatedline.h"
#include "windowfixture.h"

#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>

namespace {

QByteArray unlockRequest()
{
    return QByteArray("p") + char(ReaderProtocol::UnlockCode[0]) +
           char(ReaderProtocol::UnlockCode[1]);
}

} // namespace

// What a technician may type into the time field, and exactly what reaches the reader for it.
class BadInputTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void timeEntry_data();
    void timeEntry();

private:
    QTemporaryDir m_settingsDir;
};

void BadInputTest::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void BadInputTest::timeEntry_data()
{
    QTest::addColumn<QString>("entry");
    // The time-set request that must follow the unlock request; empty when nothing may be sent.
    QTest::addColumn<QByteArray>("timeRequest");

    const QByteArray nothing;
    QTest::newRow("empty") << "" << nothing;
    QTest::newRow("letters") << "abc" << nothing;
    QTest::newRow("digits then letters") << "10s" << nothing;
    QTest::newRow("minus sign") << "-5" << nothing;
    QTest::newRow("minus zero") << "-0" << nothing;
    QTest::newRow("beyond 32 bits") << "4294967296" << nothing;
    QTest::newRow("largest 32-bit value") << "4294967295" << nothing;
    QTest::newRow("space between digits") << "1 0" << nothing;
    QTest::newRow("hexadecimal") << "0x10" << nothing;
    QTest::newRow("full-width digits") << QString::fromUtf8("１０") << nothing;
    QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("١٠") << nothing;
    // 429 s and more would wrap round to a small count the reader would take for a wrong time.
    QTest::newRow("429") << "429" << nothing;
    QTest::newRow("1000") << "1000" << nothing;

    QTest::newRow("spaces around digits") << " 10 " << QByteArray("o\x05\xFA");
    QTest::newRow("tab and newline around digits") << "\t10\n" << QByteArray("o\x05\xFA");
    QTest::newRow("plus sign") << "+10" << QByteArray("o\x05\xFA");
    QTest::newRow("leading zero") << "010" << QByteArray("o\x05\xFA");
    QTest::newRow("0") << "0" << QByteArray("o\x00\x00", 3);
    QTest::newRow("428") << "428" << QByteArray("o\xFF\xCC");
}

void BadInputTest::timeEntry()
{
    QFETCH(QString, entry);
    QFETCH(QByteArray, timeRequest);
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    EmulatedReader &reader = f.reader();
    auto *line = dynamic_cast<EmulatedLine *>(f.window->port());
    QVERIFY(line);
    const quint16 storedBefore = reader.storedTime();
    reader.clearReceivedRequests();
    f.control<QLineEdit>("lineEdit_time")->setText(entry);
    f.control<QLineEdit>("lineEdit_Version")->setText(QStringLiteral("-"));
    const qint64 startMs = f.clock.elapsedMilliseconds();

    f.click("pushButton_SetTime");

    // Nothing is ever shown for the entry, and the field keeps what was typed.
    QCOMPARE(f.text("lineEdit_Version"), QStringLiteral("-"));
    QCOMPARE(f.text("lineEdit_time"), entry);
    QVERIFY(!line->dataTerminalReady());
    if (timeRequest.isEmpty()) {
        QVERIFY(reader.receivedRequests().isEmpty());
        // Not even a DTR bracket: no wait ran.
        QCOMPARE(f.clock.elapsedMilliseconds(), startMs);
        QCOMPARE(reader.storedTime(), storedBefore);
        return;
    }
    QCOMPARE(reader.receivedRequests(), QList<QByteArray>({unlockRequest(), timeRequest}));
    QCOMPARE(f.clock.elapsedMilliseconds() - startMs, 100);
    // Stored for good: after a power cycle the reader reads back the same whole seconds.
    reader.powerCycle();
    f.click("pushButton_getTime");
    QCOMPARE(f.text("lineEdit_time").toUInt(), entry.trimmed().toUInt());
}

QTEST_MAIN(BadInputTest)
#include "tst_badinput.moc"
