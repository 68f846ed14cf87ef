#include "cli/cliarguments.h"
#include "device/timesetting.h"

#include <QTest>

#include <pwd.h>
#include <unistd.h>

// Every command line is parsed and checked before a port is opened: these cases pin down what
// reaches the reader as typed values, and which lines are refused as usage errors.
class CliArgumentsTest : public QObject
{
    Q_OBJECT

private slots:
    void acceptedArguments_data();
    void acceptedArguments();
    void usageErrors_data();
    void usageErrors();
    void portSource_data();
    void portSource();
    void optionsAnywhereOnTheLine();
    void helpAndVersion_data();
    void helpAndVersion();
    void helpNamesEveryCommandWithItsArguments();
    void operatorWithoutLoginVariables();

private:
    static CliParseResult parse(const QStringList &words, const QString &environmentPort = {})
    {
        return CliArguments::parse(QStringList{QStringLiteral("vornctl")} + words, environmentPort);
    }
};

Q_DECLARE_METATYPE(CliCommand)
Q_DECLARE_METATYPE(CliParseResult::Outcome)

// The typed value a command carries, by the name of its field.
static QVariant typedValue(const CliArguments &arguments, const QString &field)
{
    if (field == QLatin1String("slotNumber"))
        return int(arguments.slotNumber);
    if (field == QLatin1String("clocks")) {
        QVariantList codes;
        for (const quint8 code : arguments.clocks.codes())
            codes.append(int(code));
        return codes;
    }
    if (field == QLatin1String("timeCounts"))
        return int(arguments.timeCounts);
    if (field == QLatin1String("character"))
        return int(arguments.character);
    if (field == QLatin1String("text"))
        return arguments.text;
    if (field == QLatin1String("lineAsserted"))
        return arguments.lineAsserted;
    return {};
}

static QVariantList codeList(std::initializer_list<int> codes)
{
    QVariantList list;
    for (const int code : codes)
        list.append(code);
    return list;
}

void CliArgumentsTest::acceptedArguments_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<CliCommand>("command");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");

    const auto row = [](const char *name, const QStringList &words, CliCommand command,
                        const QString &field = {}, const QVariant &value = {}) {
        QTest::newRow(name) << QStringList{QStringLiteral("--port"), QStringLiteral("ttyUSB0")} +
                                   words
                            << command << field << value;
    };
    row("info", {"info"}, CliCommand::Info);
    row("status", {"status"}, CliCommand::Status);
    row("clocks", {"clocks"}, CliCommand::Clocks);
    row("time", {"time"}, CliCommand::Time);
    row("display-test", {"display-test"}, CliCommand::DisplayTest);
    row("tarvik-status", {"tarvik-status"}, CliCommand::TarvikStatus);
    row("lines", {"lines"}, CliCommand::Lines);
    row("select-slot 1", {"select-slot", "1"}, CliCommand::SelectSlot, "slotNumber", 1);
    row("select-slot 8", {"select-slot", "8"}, CliCommand::SelectSlot, "slotNumber", 8);
    row("tarvik-select-slot 1", {"tarvik-select-slot", "1"}, CliCommand::TarvikSelectSlot,
        "slotNumber", 1);
    row("tarvik-select-slot 8", {"tarvik-select-slot", "8"}, CliCommand::TarvikSelectSlot,
        "slotNumber", 8);
    row("set-clocks points",
        {"set-clocks", "3.57", "3.68", "6.00", "8.00", "8.00", "6.00", "3.68", "3.57"},
        CliCommand::SetClocks, "clocks", codeList({0, 1, 2, 3, 3, 2, 1, 0}));
    row("set-clocks commas",
        {"set-clocks", "8,00", "6,00", "3,68", "3,57", "3.57", "3,68", "6.00", "8,00"},
        CliCommand::SetClocks, "clocks", codeList({3, 2, 1, 0, 0, 1, 2, 3}));
    row("store-clocks",
        {"store-clocks", "6.00", "6.00", "6.00", "6.00", "3.68", "3.68", "3.68", "3.68"},
        CliCommand::StoreClocks, "clocks", codeList({2, 2, 2, 2, 1, 1, 1, 1}));
    row("set-time 0", {"set-time", "0"}, CliCommand::SetTime, "timeCounts", 0);
    row("set-time 10", {"set-time", "10"}, CliCommand::SetTime, "timeCounts", 1530);
    row("set-time 428", {"set-time", "428"}, CliCommand::SetTime, "timeCounts",
        int(428 * TimeSetting::CountsPerSecond));
    row("echo A", {"echo", "A"}, CliCommand::Echo, "character", 0x41);
    row("echo latin-1", {"echo", QString(QChar(0xE9))}, CliCommand::Echo, "character", 0xE9);
    row("char 0", {"char", "0"}, CliCommand::Char, "character", 0);
    row("char 255", {"char", "255"}, CliCommand::Char, "character", 255);
    row("text", {"text", "Hello world"}, CliCommand::Text, "text", QStringLiteral("Hello world"));
    row("text empty", {"text", ""}, CliCommand::Text, "text", QString());
    row("text after --", {"--", "text", "-5 dB"}, CliCommand::Text, "text",
        QStringLiteral("-5 dB"));
    row("dtr on", {"dtr", "on"}, CliCommand::Dtr, "lineAsserted", true);
    row("dtr off", {"dtr", "off"}, CliCommand::Dtr, "lineAsserted", false);
    row("rts on", {"rts", "on"}, CliCommand::Rts, "lineAsserted", true);
    row("rts off", {"rts", "off"}, CliCommand::Rts, "lineAsserted", false);
}

void CliArgumentsTest::acceptedArguments()
{
    QFETCH(QStringList, words);
    QFETCH(CliCommand, command);
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    const CliParseResult result = parse(words);
    QVERIFY2(result.outcome == CliParseResult::Outcome::Run, qPrintable(result.message));
    QCOMPARE(result.arguments.command, command);
    QCOMPARE(result.arguments.portName, QStringLiteral("ttyUSB0"));
    if (!field.isEmpty())
        QCOMPARE(typedValue(result.arguments, field), value);
}

void CliArgumentsTest::usageErrors_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("reason");

    const auto row = [](const char *name, const QStringList &words, const char *reason) {
        QTest::newRow(name) << QStringList{QStringLiteral("--port"), QStringLiteral("ttyUSB0")} +
                                   words
                            << QString::fromLatin1(reason);
    };
    const QStringList eightClocks{"3.57", "3.57", "3.57", "3.57", "3.57", "3.57", "3.57", "3.57"};

    row("no command", {}, "no command");
    row("unknown command", {"reset"}, "unknown command 'reset'");
    row("unknown option", {"--baud", "9600", "status"}, "baud");
    row("command in capitals", {"STATUS"}, "unknown command");

    row("select-slot 0", {"select-slot", "0"}, "1 to 8");
    row("select-slot 9", {"select-slot", "9"}, "1 to 8");
    row("select-slot word", {"select-slot", "two"}, "1 to 8");
    row("select-slot fraction", {"select-slot", "1.5"}, "1 to 8");
    row("select-slot signed", {"select-slot", "+1"}, "1 to 8");
    row("select-slot empty", {"select-slot", ""}, "1 to 8");
    row("select-slot missing", {"select-slot"}, "takes one argument");
    row("select-slot two", {"select-slot", "1", "2"}, "takes one argument");
    row("tarvik-select-slot 0", {"tarvik-select-slot", "0"}, "1 to 8");
    row("tarvik-select-slot 9", {"tarvik-select-slot", "9"}, "1 to 8");

    row("char 256", {"char", "256"}, "0 to 255");
    row("char hexadecimal", {"char", "0x41"}, "0 to 255");
    row("char letter", {"char", "A"}, "0 to 255");
    row("char huge", {"char", "99999999999999999999"}, "0 to 255");
    row("char negative", {"char", "-1"}, "Unknown option");

    row("set-time 429", {"set-time", "429"}, "0 to 428");
    row("set-time 65536", {"set-time", "65536"}, "0 to 428");
    row("set-time fraction", {"set-time", "1.5"}, "0 to 428");
    row("set-time spaced", {"set-time", " 10"}, "0 to 428");
    row("set-time missing", {"set-time"}, "takes one argument");

    row("set-clocks 3.6",
        {"set-clocks", "3.6", "3.57", "3.57", "3.57", "3.57", "3.57", "3.57", "3.57"}, "slot 1");
    row("set-clocks 4.00 in slot 8",
        {"set-clocks", "3.57", "3.57", "3.57", "3.57", "3.57", "3.57", "3.57", "4.00"}, "slot 8");
    row("set-clocks MHz",
        {"set-clocks", "3.57", "3.57", "8 MHz", "3.57", "3.57", "3.57", "3.57", "3.57"}, "slot 3");
    row("set-clocks 8", {"set-clocks", "3.57", "3.57", "3.57", "3.57", "8", "3.57", "3.57", "3.57"},
        "slot 5");
    row("set-clocks seven", QStringList{"set-clocks"} + eightClocks.mid(1), "takes 8 arguments");
    row("set-clocks nine", QStringList{"set-clocks"} + eightClocks + QStringList{"3.57"},
        "takes 8 arguments");
    row("store-clocks bad",
        {"store-clocks", "3.57", "3.57", "3.57", "3.57", "3.57", "3.57", "6", "3.57"}, "slot 7");
    row("store-clocks none", {"store-clocks"}, "takes 8 arguments");

    row("echo empty", {"echo", ""}, "one character");
    row("echo two", {"echo", "ab"}, "one character");
    row("echo beyond latin-1", {"echo", QString(QChar(0x20AC))}, "one character");
    row("echo missing", {"echo"}, "takes one argument");

    row("text missing", {"text"}, "takes one argument");
    row("text unquoted", {"text", "Hello", "world"}, "takes one argument");

    row("dtr yes", {"dtr", "yes"}, "on or off");
    row("rts missing", {"rts"}, "takes one argument");
    row("status extra", {"status", "1"}, "takes no arguments");
    row("ports extra", {"ports", "all"}, "takes no arguments");
    row("lot required, none given", {"checkout", "--require-lot"}, "--lot TEXT");
    row("lot required, empty", {"checkout", "--require-lot", "--lot", " "}, "--lot TEXT");
}

void CliArgumentsTest::usageErrors()
{
    QFETCH(QStringList, words);
    QFETCH(QString, reason);
    const CliParseResult result = parse(words, QStringLiteral("ttyS0"));
    QCOMPARE(result.outcome, CliParseResult::Outcome::UsageError);
    QVERIFY2(result.message.contains(reason), qPrintable(result.message));
}

void CliArgumentsTest::portSource_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("environmentPort");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("port");

    QTest::newRow("--port") << QStringList{"--port", "ttyUSB0", "status"} << QString() << true
                            << "ttyUSB0";
    QTest::newRow("--port=") << QStringList{"--port=/dev/pts/3", "status"} << QString() << true
                             << "/dev/pts/3";
    QTest::newRow("VORN_PORT") << QStringList{"status"} << "ttyACM0" << true << "ttyACM0";
    QTest::newRow("--port wins over VORN_PORT")
        << QStringList{"--port", "emu-vorn4", "status"} << "ttyACM0" << true << "emu-vorn4";
    QTest::newRow("neither") << QStringList{"status"} << QString() << false << QString();
    QTest::newRow("empty --port") << QStringList{"--port", "", "status"} << QString() << false
                                  << QString();
    QTest::newRow("--port without name")
        << QStringList{"status", "--port"} << "ttyACM0" << false << QString();
    QTest::newRow("ports needs none") << QStringList{"ports"} << QString() << true << QString();
    QTest::newRow("ports ignores VORN_PORT")
        << QStringList{"ports"} << "ttyACM0" << true << QString();
}

void CliArgumentsTest::portSource()
{
    QFETCH(QStringList, words);
    QFETCH(QString, environmentPort);
    QFETCH(bool, accepted);
    QFETCH(QString, port);
    const CliParseResult result = parse(words, environmentPort);
    QCOMPARE(result.outcome == CliParseResult::Outcome::Run, accepted);
    if (accepted)
        QCOMPARE(result.arguments.portName, port);
    else
        QVERIFY(result.message.contains(QLatin1String("port")));
}

void CliArgumentsTest::optionsAnywhereOnTheLine()
{
    const CliParseResult before = parse({"--json", "--trace", "--port", "emu-vorn8", "time"});
    const CliParseResult after = parse({"time", "--port", "emu-vorn8", "--trace", "--json"});
    for (const CliParseResult &result : {before, after}) {
        QCOMPARE(result.outcome, CliParseResult::Outcome::Run);
        QCOMPARE(result.arguments.command, CliCommand::Time);
        QVERIFY(result.arguments.json);
        QVERIFY(result.arguments.trace);
        QCOMPARE(result.arguments.portName, QStringLiteral("emu-vorn8"));
    }
    const CliParseResult plain = parse({"time"}, QStringLiteral("emu-vorn8"));
    QVERIFY(!plain.arguments.json);
    QVERIFY(!plain.arguments.trace);
}

void CliArgumentsTest::helpAndVersion_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<CliParseResult::Outcome>("outcome");
    QTest::newRow("--help") << QStringList{"--help"} << CliParseResult::Outcome::ShowHelp;
    QTest::newRow("-h") << QStringList{"-h"} << CliParseResult::Outcome::ShowHelp;
    // Help is shown even when the rest of the line is wrong or there is no port.
    QTest::newRow("--help with a bad command")
        << QStringList{"select-slot", "9", "--help"} << CliParseResult::Outcome::ShowHelp;
    QTest::newRow("--version") << QStringList{"--version"} << CliParseResult::Outcome::ShowVersion;
}

void CliArgumentsTest::helpAndVersion()
{
    QFETCH(QStringList, words);
    QFETCH(CliParseResult::Outcome, outcome);
    QCOMPARE(parse(words).outcome, outcome);
}

void CliArgumentsTest::helpNamesEveryCommandWithItsArguments()
{
    const QString help = CliArguments::helpText();
    QVERIFY(help.startsWith(QLatin1String(CliArguments::UsageLine)));
    for (const CliCommandInfo &info : CliCommandTable::all())
        QVERIFY2(help.contains(QLatin1String("  ") + CliCommandTable::synopsis(info) +
                               QLatin1String("  ")),
                 info.name);
    for (const char *fact : {"--port", "--json", "--trace", "VORN_PORT", "emu-vorn8", "emu-vorn4",
                             "Error at reading Device!", "Timeout at reading Device!"})
        QVERIFY2(help.contains(QLatin1String(fact)), fact);
    for (const char *exitCode : {"  0  ", "  1  ", "  2  ", "  3  "})
        QVERIFY2(help.contains(QLatin1String(exitCode)), exitCode);
}

// A station started by a service or in a container may have neither USER nor LOGNAME: its records
// still name the account that checked, unless --operator says otherwise.
void CliArgumentsTest::operatorWithoutLoginVariables()
{
    const QByteArray user = qgetenv("USER");
    const QByteArray logname = qgetenv("LOGNAME");
    qunsetenv("USER");
    qunsetenv("LOGNAME");
    const CliParseResult plain = parse({"--port", "emu-vorn8", "checkout"});
    const CliParseResult named = parse({"--port", "emu-vorn8", "checkout", "--operator", "anna"});
    qputenv("USER", user);
    qputenv("LOGNAME", logname);
    QCOMPARE(plain.arguments.operatorName, QString::fromLocal8Bit(getpwuid(geteuid())->pw_name));
    QVERIFY(!plain.arguments.operatorName.isEmpty());
    QCOMPARE(named.arguments.operatorName, QStringLiteral("anna"));
}

QTEST_GUILESS_MAIN(CliArgumentsTest)
#include "tst_cliarguments.moc"
