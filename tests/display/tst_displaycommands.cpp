#include "display/displaycommands.h"
#include "recordingline.h"
#include "serial/devicetransaction.h"
#include "serial/exchangetrace.h"

#include <QSet>
#include <QTest>

#include <functional>

using DisplayCommand = std::function<void(DisplayCommands &)>;
Q_DECLARE_METATYPE(DisplayCommand)

namespace {

// Collects the command name of every traced event.
class CommandNames final : public ExchangeTrace
{
public:
    void record(const TraceEvent &event) override
    {
        names.insert(QString::fromLatin1(event.command));
    }
    QSet<QString> names;
};

QStringList textLog(const QByteArray &codes)
{
    QStringList log{"DTR 1"};
    for (const char code : codes)
        log << QStringLiteral("W 61 %1 ff").arg(quint8(code), 2, 16, QLatin1Char('0')) << "S 500";
    log << "DTR 0";
    return log;
}

} // namespace

class DisplayCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void showCharacterIsWriteOnly_data();
    void showCharacterIsWriteOnly();
    void showTextSendsLatin1OneEveryHalfSecond_data();
    void showTextSendsLatin1OneEveryHalfSecond();
    void displayTestWritesFixedSequence();
    void eachCommandNamesItselfInTheTrace_data();
    void eachCommandNamesItselfInTheTrace();
};

void DisplayCommandsTest::showCharacterIsWriteOnly_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("write");
    QTest::newRow("0") << 0 << "W 61 00 ff";
    QTest::newRow("at sign") << 64 << "W 61 40 ff";
    QTest::newRow("255") << 255 << "W 61 ff ff";
}

void DisplayCommandsTest::showCharacterIsWriteOnly()
{
    QFETCH(int, code);
    QFETCH(QString, write);
    RecordingLine line;
    line.feed("late"); // a write-only exchange neither drains nor reads
    DeviceTransaction transaction(line, line.clock());
    DisplayCommands(transaction).showCharacter(quint8(code));
    QCOMPARE(line.log(), QStringList({"DTR 1", write, "S 50", "DTR 0"}));
}

void DisplayCommandsTest::showTextSendsLatin1OneEveryHalfSecond_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("codes");
    QTest::newRow("initial field text") << "a" << QByteArray("a");
    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("space") << " " << QByteArray("\x20");
    QTest::newRow("Latin-1 e acute") << QString(QChar(0x00E9)) << QByteArray("\xE9");
    QTest::newRow("above U+00FF") << QString(QChar(0x0100)) << QByteArray("?");
    QTest::newRow("outside the BMP") << QString::fromUcs4(U"\U0001F600") << QByteArray("??");
    QTest::newRow("full field, mixed") << QString::fromUtf16(u"Sp\u00E4t \u20AC 12:00 h \u00FF")
                                       << QByteArray("Sp\xE4t ? 12:00 h \xFF");
}

void DisplayCommandsTest::showTextSendsLatin1OneEveryHalfSecond()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, codes);
    RecordingLine line;
    DeviceTransaction transaction(line, line.clock());
    DisplayCommands(transaction).showText(text);
    QCOMPARE(line.log(), textLog(codes));
    QCOMPARE(line.waitedMs(), 500 * codes.size());
}

void DisplayCommandsTest::displayTestWritesFixedSequence()
{
    RecordingLine line;
    DeviceTransaction transaction(line, line.clock());
    DisplayCommands(transaction).runDisplayTest();

    // clang-format off
    const QList<std::pair<const char *, int>> requests{
        {"64 1f 00 00 00 00 00 00", 200},
        {"64 00 1f 00 00 00 00 00", 100},
        {"64 00 00 1f 00 00 00 00", 100},
        {"64 00 00 00 1f 00 00 00", 100},
        {"64 00 00 00 00 1f 00 00", 100},
        {"64 00 00 00 00 00 1f 00", 100},
        {"64 00 00 00 00 00 00 1f", 300},
        {"64 01 01 01 01 01 01 01", 200},
        {"64 02 02 02 02 02 02 02", 150},
        {"64 04 04 04 04 04 04 04", 150},
        {"64 08 08 08 08 08 08 08", 150},
        {"64 10 10 10 10 10 10 10", 200},
        {"61 20 01", 50},
    };
    // clang-format on
    QStringList expected{"DTR 1"};
    for (const auto &[bytes, waitMs] : requests)
        expected << QStringLiteral("W ") + QLatin1String(bytes)
                 << QStringLiteral("S %1").arg(waitMs);
    expected << "DTR 0";
    QCOMPARE(line.log(), expected);
    QCOMPARE(line.logOf({"W"}).size(), 13);
    QCOMPARE(line.written().size(), 99);
    QCOMPARE(line.waitedMs(), 1900);
    QCOMPARE(line.logOf({"DTR"}), QStringList({"DTR 1", "DTR 0"}));
    QCOMPARE(line.written().right(3), QByteArray("\x61\x20\x01"));
}

void DisplayCommandsTest::eachCommandNamesItselfInTheTrace_data()
{
    QTest::addColumn<DisplayCommand>("command");
    QTest::addColumn<QString>("name");
    QTest::newRow("character") << DisplayCommand([](DisplayCommands &c) { c.showCharacter(0x41); })
                               << "char";
    QTest::newRow("text") << DisplayCommand([](DisplayCommands &c) { c.showText("ab"); }) << "text";
    QTest::newRow("display test") << DisplayCommand([](DisplayCommands &c) { c.runDisplayTest(); })
                                  << "display-test";
}

void DisplayCommandsTest::eachCommandNamesItselfInTheTrace()
{
    QFETCH(DisplayCommand, command);
    QFETCH(QString, name);
    RecordingLine line;
    DeviceTransaction transaction(line, line.clock());
    transaction.setCommandName("earlier");
    CommandNames trace;
    transaction.setTrace(&trace);
    DisplayCommands commands(transaction);
    command(commands);
    QCOMPARE(trace.names, QSet<QString>({name}));
}

QTEST_GUILESS_MAIN(DisplayCommandsTest)
#include "tst_displaycommands.moc"
