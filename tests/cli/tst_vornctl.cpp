#include "cli/clicommandtable.h"
#include "emulatorprocess.h"
#include "fulldisk.h"
#include "publish/publishtarget.h"
#include "spooledends.h"
#include "store/recordsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <algorithm>
#include <csignal>
#include <memory>

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// vornctl as a technician runs it: the built program against the in-process emulated readers
// and against vorn-emulator on a pseudo-terminal, through the real serial port line.
class VornctlTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void helpListsEveryCommand();
    void portsNeedNoPort();
    void emulatedReader_data();
    void emulatedReader();
    void traceShowsTheExchange_data();
    void traceShowsTheExchange();
    void displayTestSendsTwelvePatternsAndASpace();
    void portFromEnvironment();
    void noPortIsAUsageError();

    void ptyCommands_data();
    void ptyCommands();
    void ptySettingsReadBack_data();
    void ptySettingsReadBack();
    void ptyTextOneCharacterEvery500Ms();
    void readerFailure_data();
    void readerFailure();

    void badArgumentsSendNothing_data();
    void badArgumentsSendNothing();

    void missingPort_data();
    void missingPort();
    void portInUseNamesTheHolder();
    void permissionDeniedNamesTheGroup();

    void checkout_data();
    void checkout();
    void checkoutUsageErrorsSendNothing_data();
    void checkoutUsageErrorsSendNothing();
    void badPlansSendNothing_data();
    void badPlansSendNothing();
    void plansOfOneRevisionTellTheirLimitsApart();
    void planListOfNothingSaysWhereItLooked();
    void checkoutPortsFromEnvironment();
    void checkoutKeepsItsRecords();
    void recordsWaitForTheirHashLibrary();
    void messagesWaitForTheirClient();
    void modulesAreFoundBesideTheProgram_data();
    void modulesAreFoundBesideTheProgram();
    void checkoutRecordLost_data();
    void checkoutRecordLost();
    void checkoutEndPublishedOnlyOnceKept_data();
    void checkoutEndPublishedOnlyOnceKept();
    void junitWriteFailureKeepsTheOldReport();
    void checkoutAsksTheOperator();
    void checkoutOfAVanishingReader();
    void checkoutInterrupted_data();
    void checkoutInterrupted();
    void killedCheckoutIsPutBackFirst_data();
    void killedCheckoutIsPutBackFirst();
    void checkoutOfEightPtyReaders();

private:
    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    static Run vornctl(const QStringList &arguments, const QString &environmentPort = {},
                       const QStringList &launcher = {},
                       const QMap<QString, QString> &environment = {});
    Run onPty(const QStringList &arguments)
    {
        return vornctl(QStringList{"--port", m_pty.terminalPath()} + arguments);
    }
    // What a technician would look at to see whether anything changed on the reader.
    QByteArray ptyState();
    static QStringList traceLines(const QByteArray &standardError);
    // vornctl copied into folder/bin, away from its modules; empty on failure.
    static QString copiedAway(const QTemporaryDir &folder);
    // program run with its data in folder.
    static Run runAway(const QTemporaryDir &folder, const QString &program,
                       const QStringList &arguments);
    static void verifyInOrder(const QByteArray &text, const QStringList &fragments);
    // Whether the emulator on terminal, just started, answers within a few tries.
    static bool answersOnceStarted(const QString &terminal);

    EmulatorProcess m_pty;
    QTemporaryDir m_state; // the journal of the checkouts this test kills
};

namespace {

const QString Vorn8 = QStringLiteral("emu-vorn8");
const QString Vorn4 = QStringLiteral("emu-vorn4");

// The pseudo-terminal's reader: a four-slot model with cards in slots 2 and 4.
const QStringList PtyReaderOptions{"--model",  "4",    "--version", "7",
                                   "--serial", "4321", "--cards",   "0x0a"};

QJsonObject jsonOf(const QByteArray &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    return error.error == QJsonParseError::NoError ? document.object() : QJsonObject{};
}

QString describe(const QByteArray &out, const QByteArray &err)
{
    return QStringLiteral("stdout: [%1] stderr: [%2]")
        .arg(QString::fromUtf8(out), QString::fromUtf8(err));
}

} // namespace

VornctlTest::Run VornctlTest::vornctl(const QStringList &arguments, const QString &environmentPort,
                                      const QStringList &launcher,
                                      const QMap<QString, QString> &environment)
{
    QProcessEnvironment processEnvironment = QProcessEnvironment::systemEnvironment();
    processEnvironment.remove(QStringLiteral("VORN_PORT"));
    if (!environmentPort.isEmpty())
        processEnvironment.insert(QStringLiteral("VORN_PORT"), environmentPort);
    for (auto variable = environment.cbegin(); variable != environment.cend(); ++variable)
        processEnvironment.insert(variable.key(), variable.value());
    QProcess process;
    process.setProcessEnvironment(processEnvironment);
    const QString program = QStringLiteral(VORNCTL_PATH);
    if (launcher.isEmpty())
        process.start(program, arguments);
    else
        process.start(launcher.first(), launcher.mid(1) + QStringList{program} + arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    Run run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QByteArray VornctlTest::ptyState()
{
    QByteArray state;
    for (const char *command : {"status", "clocks", "time"})
        state += onPty({QString::fromLatin1(command)}).out;
    return state;
}

QStringList VornctlTest::traceLines(const QByteArray &standardError)
{
    // A trace line starts with the milliseconds, right-aligned.
    static const QRegularExpression traceLine(QStringLiteral("^ *\\d+ [ <>] "));
    QStringList lines;
    for (const QByteArray &line : standardError.split('\n'))
        if (traceLine.match(QString::fromUtf8(line)).hasMatch())
            lines.append(QString::fromUtf8(line));
    return lines;
}

void VornctlTest::verifyInOrder(const QByteArray &text, const QStringList &fragments)
{
    qsizetype from = 0;
    for (const QString &fragment : fragments) {
        const qsizetype at = text.indexOf(fragment.toUtf8(), from);
        QVERIFY2(at >= 0, qPrintable(QStringLiteral("'%1' missing after offset %2 in:\n%3")
                                         .arg(fragment)
                                         .arg(from)
                                         .arg(QString::fromUtf8(text))));
        from = at + fragment.size();
    }
}

void VornctlTest::initTestCase()
{
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
    QVERIFY2(m_pty.start(QStringLiteral(VORN_EMULATOR_PATH), PtyReaderOptions),
             "vorn-emulator did not print its terminal");
    QVERIFY2(answersOnceStarted(m_pty.terminalPath()),
             "the emulator on the pseudo-terminal never answered");
}

bool VornctlTest::answersOnceStarted(const QString &terminal)
{
    // An emulator's first answers come while its own code is still being paged in (slowest in
    // the sanitizer builds on a busy machine), and may miss the reader's 50 ms; a reader answers
    // in its firmware's time from the first. Asked until it answers, before the tests that time
    // it.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (vornctl({"--port", terminal, "echo", "~"}).exitCode == 0)
            return true;
    }
    return false;
}

void VornctlTest::cleanupTestCase()
{
    m_pty.stop(SIGTERM);
}

void VornctlTest::helpListsEveryCommand()
{
    const Run run = vornctl({"--help"});
    QCOMPARE(run.exitCode, 0);
    for (const CliCommandInfo &info : CliCommandTable::all())
        QVERIFY2(run.out.contains(CliCommandTable::synopsis(info).toUtf8()), info.name);
}

void VornctlTest::portsNeedNoPort()
{
    const Run text = vornctl({"ports"});
    QCOMPARE(text.exitCode, 0);
    QVERIFY2(text.out.contains("\nemu-vorn8\t") || text.out.startsWith("emu-vorn8\t"),
             text.out.constData());
    QVERIFY(text.out.endsWith("emu-vorn4\tEmulated four-slot reader\t\t\n"));
    for (const QByteArray &line : text.out.split('\n'))
        QVERIFY(line.isEmpty() || line.count('\t') == 3);

    const Run json = vornctl({"--json", "ports"});
    QCOMPARE(json.exitCode, 0);
    const QJsonArray ports = jsonOf(json.out).value(QLatin1String("ports")).toArray();
    QCOMPARE(ports.size(), text.out.count('\n'));
    QCOMPARE(ports.last().toObject().value(QLatin1String("name")).toString(), Vorn4);
    for (const QJsonValue port : ports)
        for (const char *key : {"name", "description", "manufacturer", "serial_number"})
            QVERIFY2(port.toObject().contains(QLatin1String(key)), key);
}

void VornctlTest::emulatedReader_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("json");

    QTest::newRow("info")
        << Vorn8 << QStringList{"info"} << QByteArray("Version: 3 - Type Vorn8 - SN: 001234\n")
        << QByteArray(
               R"({"version":3,"model":8,"serial":1234,"text":"Version: 3 - Type Vorn8 - SN: 001234"})");
    QTest::newRow("info vorn4")
        << Vorn4 << QStringList{"info"} << QByteArray("Version: 2 - Type Vorn4 - SN: 004321\n")
        << QByteArray(
               R"({"version":2,"model":4,"serial":4321,"text":"Version: 2 - Type Vorn4 - SN: 004321"})");
    QTest::newRow("status") << Vorn8 << QStringList{"status"}
                            << QByteArray("cards: 1 3 6\nselected: 1\n")
                            << QByteArray(R"({"cards":[1,3,6],"selected":1})");
    QTest::newRow("status vorn4") << Vorn4 << QStringList{"status"}
                                  << QByteArray("cards: 1 3\nselected: 1\n")
                                  << QByteArray(R"({"cards":[1,3],"selected":1})");
    QTest::newRow("clocks")
        << Vorn8 << QStringList{"clocks"} << QByteArray("3.57 3.68 6.00 8.00 8.00 6.00 3.68 3.57\n")
        << QByteArray(R"({"clocks":["3.57","3.68","6.00","8.00","8.00","6.00","3.68","3.57"]})");
    QTest::newRow("clocks vorn4")
        << Vorn4 << QStringList{"clocks"} << QByteArray("3.57 3.68 6.00 3.57 3.57 3.57 3.57 3.57\n")
        << QByteArray(R"({"clocks":["3.57","3.68","6.00","3.57","3.57","3.57","3.57","3.57"]})");
    QTest::newRow("time") << Vorn8 << QStringList{"time"} << QByteArray("10\n")
                          << QByteArray(R"({"seconds":10,"counts":1530})");
    QTest::newRow("echo") << Vorn8 << QStringList{"echo", "A"} << QByteArray("A\n")
                          << QByteArray(R"({"sent":"A","echoed":"A"})");
    QTest::newRow("echo latin-1")
        << Vorn8 << QStringList{"echo", QString(QChar(0xE9))}
        << QString(QChar(0xE9)).append(QLatin1Char('\n')).toUtf8()
        << QStringLiteral(R"({"sent":"%1","echoed":"%1"})").arg(QChar(0xE9)).toUtf8();
    QTest::newRow("tarvik-status")
        << Vorn8 << QStringList{"tarvik-status"} << QByteArray("cards: 1 3 6\n")
        << QByteArray(R"({"cards":[1,3,6]})");
    QTest::newRow("lines") << Vorn8 << QStringList{"lines"}
                           << QByteArray("cards changed: yes\ncards in: yes\n")
                           << QByteArray(R"({"cards_changed":true,"cards_in":true})");

    const auto silent = [](const char *name, const QStringList &command) {
        QTest::newRow(name) << Vorn8 << command << QByteArray() << QByteArray("{}");
    };
    silent("select-slot", {"select-slot", "3"});
    silent("set-clocks",
           {"set-clocks", "8.00", "8,00", "6.00", "6,00", "3.68", "3,68", "3.57", "3,57"});
    silent("store-clocks",
           {"store-clocks", "3.57", "3.57", "3.57", "3.57", "8.00", "8.00", "8.00", "8.00"});
    silent("set-time", {"set-time", "428"});
    silent("char", {"char", "255"});
    silent("text without characters", {"text", ""});
    silent("tarvik-select-slot", {"tarvik-select-slot", "8"});
    silent("dtr on", {"dtr", "on"});
    silent("dtr off", {"dtr", "off"});
    silent("rts on", {"rts", "on"});
    silent("rts off", {"rts", "off"});
}

void VornctlTest::emulatedReader()
{
    QFETCH(QString, port);
    QFETCH(QStringList, command);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, json);

    const Run asText = vornctl(QStringList{"--port", port} + command);
    QVERIFY2(asText.exitCode == 0, qPrintable(describe(asText.out, asText.err)));
    QCOMPARE(asText.out, text);
    QCOMPARE(asText.err, QByteArray());

    const Run asJson = vornctl(QStringList{"--json", "--port", port} + command);
    QVERIFY2(asJson.exitCode == 0, qPrintable(describe(asJson.out, asJson.err)));
    QVERIFY(asJson.out.endsWith('\n'));
    QCOMPARE(asJson.out.count('\n'), 1);
    QCOMPARE(jsonOf(asJson.out), jsonOf(json));
}

void VornctlTest::traceShowsTheExchange_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QStringList>("fragments");

    QTest::newRow("status") << QStringList{"status"}
                            << QStringList{"DTR on  [status]", "> 3f  |?|", "wait 50 ms",
                                           "2 bytes waiting",  "< 25 00",   "DTR off  [status]"};
    QTest::newRow("select-slot counts from 1")
        << QStringList{"select-slot", "3"}
        << QStringList{"DTR on", "> 73 02  |s.|", "wait 50 ms", "DTR off"};
    QTest::newRow("info is chained")
        << QStringList{"info"}
        << QStringList{"DTR on", "> 76", "< 03", "> 74", "< 08", "> 6e", "< 04 d2", "DTR off"};
    QTest::newRow("set-clocks") << QStringList{"set-clocks", "3.57", "3.68", "6.00", "8.00",
                                               "8.00",       "6.00", "3.68", "3.57"}
                                << QStringList{"> 63 1b e4  |c..|  [set-clocks]", "wait 50 ms",
                                               "DTR off"};
    QTest::newRow("store-clocks unlocks before storing")
        << QStringList{"store-clocks", "8.00", "8.00", "8.00", "8.00",
                       "3.57",         "3.57", "3.57", "3.57"}
        << QStringList{"> 63 00 ff", "DTR off",   "DTR on",     "> 70 5a c3",
                       "wait 50 ms", "> 6d  |m|", "wait 50 ms", "DTR off"};
    QTest::newRow("set-time unlocks, counts high byte first")
        << QStringList{"set-time", "10"} << QStringList{"> 70 5a c3", "> 6f 05 fa", "DTR off"};
    QTest::newRow("time") << QStringList{"time"} << QStringList{"> 72  |r|", "< 05 fa"};
    QTest::newRow("echo") << QStringList{"echo", "Z"} << QStringList{"> 65 5a  |eZ|", "< 5a  |Z|"};
    QTest::newRow("char") << QStringList{"char", "65"}
                          << QStringList{"> 61 41 ff  |aA.|", "wait 50 ms"};
    QTest::newRow("tarvik-status is polled")
        << QStringList{"tarvik-status"} << QStringList{"> 47  |G|", "9 bytes waiting"};
    QTest::newRow("tarvik-select-slot sends the slot number")
        << QStringList{"tarvik-select-slot", "2"} << QStringList{"> 53 02", "6 bytes waiting"};
    QTest::newRow("dtr by hand") << QStringList{"dtr", "on"} << QStringList{"DTR on  [dtr]"};
}

void VornctlTest::traceShowsTheExchange()
{
    QFETCH(QStringList, command);
    QFETCH(QStringList, fragments);
    const Run run = vornctl(QStringList{"--trace", "--port", Vorn8} + command);
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run.out, run.err)));
    verifyInOrder(run.err, fragments);
    // Nothing but trace lines on standard error.
    QCOMPARE(traceLines(run.err).size(), run.err.count('\n'));
}

void VornctlTest::displayTestSendsTwelvePatternsAndASpace()
{
    const Run run = vornctl({"--trace", "--port", Vorn8, "display-test"});
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run.out, run.err)));
    const QStringList lines = traceLines(run.err);
    QCOMPARE(lines.filter(QStringLiteral("> 64 ")).size(), 12);
    QCOMPARE(lines.filter(QStringLiteral("DTR on")).size(), 1);
    verifyInOrder(run.err, {"> 64 1f 00 00 00 00 00 00", "wait 200 ms", "> 64 10 10 10 10 10 10 10",
                            "wait 200 ms", "> 61 20 01", "wait 50 ms", "DTR off"});
    int waited = 0;
    static const QRegularExpression wait(QStringLiteral("wait (\\d+) ms"));
    for (const QString &line : lines)
        if (const QRegularExpressionMatch match = wait.match(line); match.hasMatch())
            waited += match.captured(1).toInt();
    QCOMPARE(waited, 1900); // the 1.9 s of the display test, the closing space included
}

void VornctlTest::portFromEnvironment()
{
    const Run fromEnvironment = vornctl({"status"}, Vorn4);
    QCOMPARE(fromEnvironment.exitCode, 0);
    QCOMPARE(fromEnvironment.out, QByteArray("cards: 1 3\nselected: 1\n"));
    const Run optionWins = vornctl({"--port", Vorn8, "status"}, Vorn4);
    QCOMPARE(optionWins.out, QByteArray("cards: 1 3 6\nselected: 1\n"));
}

void VornctlTest::noPortIsAUsageError()
{
    const Run run = vornctl({"status"});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY(run.err.contains("VORN_PORT"));
    QVERIFY(run.err.contains("Usage: vornctl [--port NAME] [--json] [--trace] COMMAND [ARGS]"));
}

void VornctlTest::ptyCommands_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("json");

    QTest::newRow("info")
        << QStringList{"info"} << QByteArray("Version: 7 - Type Vorn4 - SN: 004321\n")
        << QByteArray(
               R"({"version":7,"model":4,"serial":4321,"text":"Version: 7 - Type Vorn4 - SN: 004321"})");
    QTest::newRow("echo") << QStringList{"echo", "~"} << QByteArray("~\n")
                          << QByteArray(R"({"sent":"~","echoed":"~"})");
    QTest::newRow("tarvik-status") << QStringList{"tarvik-status"} << QByteArray("cards: 2 4\n")
                                   << QByteArray(R"({"cards":[2,4]})");
    // A pseudo-terminal has no modem lines: both read inactive, so both boxes would be checked.
    QTest::newRow("lines") << QStringList{"lines"}
                           << QByteArray("cards changed: yes\ncards in: yes\n")
                           << QByteArray(R"({"cards_changed":true,"cards_in":true})");
    QTest::newRow("char") << QStringList{"char", "66"} << QByteArray() << QByteArray("{}");
    QTest::newRow("dtr on") << QStringList{"dtr", "on"} << QByteArray() << QByteArray("{}");
    QTest::newRow("dtr off") << QStringList{"dtr", "off"} << QByteArray() << QByteArray("{}");
    QTest::newRow("rts on") << QStringList{"rts", "on"} << QByteArray() << QByteArray("{}");
    QTest::newRow("rts off") << QStringList{"rts", "off"} << QByteArray() << QByteArray("{}");
}

void VornctlTest::ptyCommands()
{
    QFETCH(QStringList, command);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, json);
    const Run asText = onPty(command);
    QVERIFY2(asText.exitCode == 0, qPrintable(describe(asText.out, asText.err)));
    QCOMPARE(asText.out, text);
    const Run asJson = onPty(QStringList{"--json"} + command);
    QVERIFY2(asJson.exitCode == 0, qPrintable(describe(asJson.out, asJson.err)));
    QCOMPARE(jsonOf(asJson.out), jsonOf(json));
}

void VornctlTest::ptySettingsReadBack_data()
{
    QTest::addColumn<QStringList>("setting");
    QTest::addColumn<QStringList>("reading");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("select-slot") << QStringList{"select-slot", "4"} << QStringList{"status"}
                                 << QByteArray("cards: 2 4\nselected: 4\n");
    QTest::newRow("select-slot 1") << QStringList{"select-slot", "1"} << QStringList{"status"}
                                   << QByteArray("cards: 2 4\nselected: 1\n");
    QTest::newRow("tarvik-select-slot")
        << QStringList{"tarvik-select-slot", "3"} << QStringList{"status"}
        << QByteArray("cards: 2 4\nselected: 3\n");
    QTest::newRow("set-time") << QStringList{"set-time", "100"} << QStringList{"--json", "time"}
                              << QByteArray("{\"counts\":15300,\"seconds\":100}\n");
    QTest::newRow("set-time 428") << QStringList{"set-time", "428"} << QStringList{"time"}
                                  << QByteArray("428\n");
    QTest::newRow("set-clocks") << QStringList{"set-clocks", "8.00", "6.00", "3.68", "3.57",
                                               "3,57",       "3,68", "6,00", "8,00"}
                                << QStringList{"clocks"}
                                << QByteArray("8.00 6.00 3.68 3.57 3.57 3.68 6.00 8.00\n");
    QTest::newRow("store-clocks") << QStringList{"store-clocks", "6.00", "6.00", "6.00", "6.00",
                                                 "3.68",         "3.68", "3.68", "3.68"}
                                  << QStringList{"clocks"}
                                  << QByteArray("6.00 6.00 6.00 6.00 3.68 3.68 3.68 3.68\n");
}

void VornctlTest::ptySettingsReadBack()
{
    QFETCH(QStringList, setting);
    QFETCH(QStringList, reading);
    QFETCH(QByteArray, expected);
    const Run set = onPty(setting);
    QVERIFY2(set.exitCode == 0, qPrintable(describe(set.out, set.err)));
    QVERIFY(set.out.isEmpty());
    const Run read = onPty(reading);
    QVERIFY2(read.exitCode == 0, qPrintable(describe(read.out, read.err)));
    QCOMPARE(read.out, expected);
}

void VornctlTest::ptyTextOneCharacterEvery500Ms()
{
    const Run run = onPty({"--trace", "text", "ok"});
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run.out, run.err)));
    const QStringList lines = traceLines(run.err);
    QCOMPARE(lines.filter(QStringLiteral("DTR")).size(), 2);
    verifyInOrder(run.err, {"DTR on  [text]", "> 61 6f ff  |ao.|", "wait 500 ms",
                            "> 61 6b ff  |ak.|", "wait 500 ms", "DTR off  [text]"});
}

void VornctlTest::readerFailure_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QByteArray>("error");
    QTest::newRow("status") << QStringList{"status"} << QByteArray("Error at reading Device!\n");
    QTest::newRow("time") << QStringList{"--json", "time"}
                          << QByteArray("Error at reading Device!\n");
    QTest::newRow("echo") << QStringList{"echo", "e"} << QByteArray("Error at reading Device!\n");
    QTest::newRow("tarvik-status")
        << QStringList{"tarvik-status"} << QByteArray("Timeout at reading Device!\n");
}

void VornctlTest::readerFailure()
{
    QFETCH(QStringList, command);
    QFETCH(QByteArray, error);
    // A reader that answers long after every wait of the tool.
    EmulatorProcess slow;
    QVERIFY(slow.start(QStringLiteral(VORN_EMULATOR_PATH), {"--answer-delay", "1500"}));
    const Run run = vornctl(QStringList{"--port", slow.terminalPath()} + command);
    slow.stop(SIGTERM);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, error);
    QCOMPARE(run.out, QByteArray());
}

void VornctlTest::badArgumentsSendNothing_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::newRow("select-slot 0") << QStringList{"select-slot", "0"};
    QTest::newRow("select-slot 9") << QStringList{"select-slot", "9"};
    QTest::newRow("tarvik-select-slot 9") << QStringList{"tarvik-select-slot", "9"};
    QTest::newRow("char 256") << QStringList{"char", "256"};
    QTest::newRow("set-time 429") << QStringList{"set-time", "429"};
    QTest::newRow("set-clocks with a bad one") << QStringList{
        "set-clocks", "8.00", "8.00", "8.00", "8.00", "8.00", "8.00", "8.00", "8.01"};
    QTest::newRow("store-clocks short") << QStringList{"store-clocks", "8.00", "8.00"};
    QTest::newRow("echo two characters") << QStringList{"echo", "ab"};
    QTest::newRow("text two words") << QStringList{"text", "a", "b"};
    QTest::newRow("unknown command") << QStringList{"reboot"};
}

void VornctlTest::badArgumentsSendNothing()
{
    QFETCH(QStringList, command);
    const QByteArray before = ptyState();
    QVERIFY(!before.isEmpty());
    for (const QString &port : {Vorn8, m_pty.terminalPath()}) {
        const Run run = vornctl(QStringList{"--trace", "--json", "--port", port} + command);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.contains("Usage: vornctl"), run.err.constData());
        QVERIFY2(traceLines(run.err).isEmpty(), run.err.constData());
    }
    QCOMPARE(ptyState(), before);
}

void VornctlTest::missingPort_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("devicePath");
    QTest::newRow("path") << "/dev/ttyVORN-missing"
                          << "/dev/ttyVORN-missing";
    QTest::newRow("short name") << "ttyVORN-missing"
                                << "/dev/ttyVORN-missing";
}

void VornctlTest::missingPort()
{
    QFETCH(QString, port);
    QFETCH(QString, devicePath);
    const Run run = vornctl({"--trace", "--port", port, "status"});
    QCOMPARE(run.exitCode, 3);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains(devicePath.toUtf8() + ": no such port"), run.err.constData());
    QVERIFY(traceLines(run.err).isEmpty());
}

void VornctlTest::portInUseNamesTheHolder()
{
    // Qt Serial Port locks the port for the test process, as it would for the window.
    QSerialPort holder(m_pty.terminalPath());
    QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));
    const Run run = onPty({"status"});
    holder.close();
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.err.contains("in use by another program: tst_vornctl (PID " +
                              QByteArray::number(QCoreApplication::applicationPid()) + ")"),
             run.err.constData());
    // Once the holder lets go the port is free again.
    QCOMPARE(onPty({"status"}).exitCode, 0);
}

void VornctlTest::permissionDeniedNamesTheGroup()
{
    struct stat before
    {
    };
    QVERIFY(::stat(QFile::encodeName(m_pty.terminalPath()).constData(), &before) == 0);
    QStringList launcher;
    // Not root: the owner is refused while the terminal's group may read and write.
    mode_t deniedMode = 0060;
    if (::geteuid() == 0) {
        // Root opens anything: run vornctl as nobody, outside the terminal's group.
        launcher = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        QProcess probe;
        probe.start(launcher.first(), launcher.mid(1) + QStringList{"test", "-x", VORNCTL_PATH});
        if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit ||
            probe.exitCode() != 0)
            QSKIP("setpriv is missing, or vornctl lies in a folder closed to other users");
        deniedMode = 0660;
    }
    QVERIFY(::chmod(QFile::encodeName(m_pty.terminalPath()).constData(), deniedMode) == 0);
    const Run run = vornctl({"--port", m_pty.terminalPath(), "status"}, {}, launcher);
    ::chmod(QFile::encodeName(m_pty.terminalPath()).constData(), before.st_mode & 07777);

    const QString group = QFileInfo(m_pty.terminalPath()).group();
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.err.contains("permission denied"), run.err.constData());
    QVERIFY2(run.err.contains("group " + group.toUtf8() + ": join it"), run.err.constData());
    QVERIFY2(run.err.contains("new login"), run.err.constData());
}

namespace {

// One reader of a checkout as its three reports give it.
struct CheckedReader
{
    QString outcome;
    QStringList failed; // the steps that failed or had an error, "name:outcome"
};

QList<CheckedReader> readersOfJson(const QByteArray &json)
{
    QList<CheckedReader> readers;
    const QJsonArray array = jsonOf(json).value(QLatin1String("readers")).toArray();
    for (const QJsonValue reader : array) {
        CheckedReader checked{reader[QLatin1String("outcome")].toString(), {}};
        for (const QJsonValue step : reader[QLatin1String("steps")].toArray()) {
            const QString outcome = step[QLatin1String("outcome")].toString();
            if (outcome == QLatin1String("fail") || outcome == QLatin1String("error"))
                checked.failed.append(step[QLatin1String("name")].toString() + ':' + outcome);
        }
        readers.append(checked);
    }
    return readers;
}

// The JUnit report read as XML: per test suite the failing test cases, "name:fail|error".
QList<QStringList> failuresOfJunit(const QByteArray &xml, int *testCases)
{
    QList<QStringList> suites;
    QXmlStreamReader reader(xml);
    QString testCase;
    *testCases = 0;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = reader.name();
        if (name == QLatin1String("testsuite"))
            suites.append(QStringList{});
        else if (name == QLatin1String("testcase")) {
            testCase = reader.attributes().value(QLatin1String("name")).toString();
            ++*testCases;
        } else if (name == QLatin1String("failure"))
            suites.last().append(testCase + QLatin1String(":fail"));
        else if (name == QLatin1String("error"))
            suites.last().append(testCase + QLatin1String(":error"));
    }
    if (reader.hasError())
        return {{QStringLiteral("XML error: ") + reader.errorString()}};
    return suites;
}

} // namespace

void VornctlTest::checkout_data()
{
    QTest::addColumn<QStringList>("ports"); // "pty:OPTIONS" is a vorn-emulator started so
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("outcomes"); // per reader
    QTest::addColumn<QList<QStringList>>("failed");

    QTest::newRow("emu-vorn8") << QStringList{Vorn8} << 0 << QStringList{"pass"}
                               << QList<QStringList>{{}};
    QTest::newRow("emu-vorn4 and emu-vorn8")
        << QStringList{Vorn4, Vorn8} << 0 << QStringList{"pass", "pass"}
        << QList<QStringList>{{}, {}};
    QTest::newRow("pty, healthy") << QStringList{"pty:"} << 0 << QStringList{"pass"}
                                  << QList<QStringList>{{}};
    QTest::newRow("pty, echo bit") << QStringList{"pty:--defect echo-bit-6"} << 1
                                   << QStringList{"fail"} << QList<QStringList>{{"echo:fail"}};
    QTest::newRow("pty four slots, stuck clock")
        << QStringList{"pty:--model 4 --defect clock-stuck-slot-4", Vorn8} << 1
        << QStringList{"fail", "pass"} << QList<QStringList>{{"clocks:fail"}, {}};
    QTest::newRow("pty, two defects")
        << QStringList{"pty:--defect slot-unselectable-5 --defect tarvik-disagrees"} << 1
        << QStringList{"fail"} << QList<QStringList>{{"select-slot:fail", "tarvik:fail"}};
    QTest::newRow("pty falls silent")
        << QStringList{Vorn4, "pty:--defect no-answer-after-25"} << 1
        << QStringList{"pass", "error"} << QList<QStringList>{{}, {"clocks:error"}};
    QTest::newRow("a port that does not open among good ones")
        << QStringList{Vorn8, "/dev/ttyVORN-missing", "pty:"} << 3
        << QStringList{"pass", "error", "pass"} << QList<QStringList>{{}, {"identify:error"}, {}};
}

void VornctlTest::checkout()
{
    QFETCH(QStringList, ports);
    QFETCH(int, exitCode);
    QFETCH(QStringList, outcomes);
    QFETCH(QList<QStringList>, failed);

    std::vector<std::unique_ptr<EmulatorProcess>> emulators;
    QStringList arguments;
    const auto startReaders = [&] {
        emulators.clear();
        arguments.clear();
        for (const QString &port : ports) {
            QString name = port;
            if (port.startsWith(QLatin1String("pty:"))) {
                emulators.push_back(std::make_unique<EmulatorProcess>());
                QVERIFY(emulators.back()->start(QStringLiteral(VORN_EMULATOR_PATH),
                                                port.mid(4).split(' ', Qt::SkipEmptyParts)));
                name = emulators.back()->terminalPath();
            }
            arguments << "--port" << name;
        }
    };
    QTemporaryDir folder;
    const QString junit = folder.filePath(QStringLiteral("checkout.xml"));

    startReaders();
    const Run text = vornctl(arguments + QStringList{"checkout", "--junit", junit});
    QVERIFY2(text.exitCode == exitCode, qPrintable(describe(text.out, text.err)));
    // One summary line per reader, in the order of the ports.
    static const QRegularExpression summary(
        QStringLiteral(
            "^(PASS|FAIL|ERROR)  (\\S+)  (Vorn8|Vorn4|-)  SN (\\d{6}|-)  \\d+\\.\\d\\d s$"),
        QRegularExpression::MultilineOption);
    QStringList summaries;
    for (auto match = summary.globalMatch(QString::fromUtf8(text.out)); match.hasNext();) {
        const QRegularExpressionMatch line = match.next();
        summaries.append(line.captured(1).toLower());
        QCOMPARE(line.captured(2), arguments.at(2 * summaries.size() - 1));
    }
    QCOMPARE(summaries, outcomes);
    QVERIFY2(!text.out.contains("identify     pass") || text.out.contains("  step "),
             text.out.constData());

    QFile report(junit);
    QVERIFY(report.open(QIODevice::ReadOnly));
    int testCases = 0;
    QCOMPARE(failuresOfJunit(report.readAll(), &testCases), failed);
    QCOMPARE(testCases, 9 * ports.size());

    startReaders(); // fresh readers: no-answer-after counts from the start
    const Run json = vornctl(arguments + QStringList{"checkout", "--json", "--station", "line-7"});
    QVERIFY2(json.exitCode == exitCode, qPrintable(describe(json.out, json.err)));
    const QJsonObject document = jsonOf(json.out);
    QCOMPARE(document.value(QLatin1String("station")).toString(), QStringLiteral("line-7"));
    QCOMPARE(document.value(QLatin1String("tool")).toString(), QStringLiteral("vornctl"));
    QCOMPARE(document.value(QLatin1String("tool_version")).toString(),
             QStringLiteral(VORN_VERSION));
    const QList<CheckedReader> readers = readersOfJson(json.out);
    QCOMPARE(readers.size(), ports.size());
    for (qsizetype i = 0; i < readers.size(); ++i) {
        QCOMPARE(readers.at(i).outcome, outcomes.at(i));
        QCOMPARE(readers.at(i).failed, failed.at(i));
    }
}

void VornctlTest::checkoutUsageErrorsSendNothing_data()
{
    QTest::addColumn<QStringList>("words"); // PTY stands for the pseudo-terminal's path
    QTest::newRow("model 5") << QStringList{"--port", "PTY", "checkout", "--model", "5"};
    QTest::newRow("firmware 256") << QStringList{"--port", "PTY", "checkout", "--min-firmware",
                                                 "256"};
    QTest::newRow("echo some") << QStringList{"--port", "PTY", "checkout", "--echo", "some"};
    QTest::newRow("prompt and no prompt")
        << QStringList{"--port", "PTY", "checkout", "--prompt", "--no-prompt"};
    QTest::newRow("seven clocks") << QStringList{"--port", "PTY", "checkout", "--program-clocks",
                                                 "3.57,3.57,3.57,3.57,3.57,3.57,3.57"};
    QTest::newRow("time too long")
        << QStringList{"--port", "PTY", "checkout", "--program-time", "429"};
    QTest::newRow("same port twice") << QStringList{"--port", "PTY", "--port", "PTY", "checkout"};
    QTest::newRow("status on two ports")
        << QStringList{"--port", "PTY", "--port", "emu-vorn8", "status"};
    QTest::newRow("a checkout option elsewhere")
        << QStringList{"--port", "PTY", "--model", "4", "status"};
    QTest::newRow("JUnit file unwritable") << QStringList{
        "--port", "emu-vorn8", "--port", "PTY", "checkout", "--junit", "/proc/no/such.xml"};
}

void VornctlTest::checkoutUsageErrorsSendNothing()
{
    QFETCH(QStringList, words);
    words.replaceInStrings(QStringLiteral("PTY"), m_pty.terminalPath());
    const QByteArray before = ptyState();
    const Run run = vornctl(QStringList{"--trace"} + words);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains("Usage: vornctl"), run.err.constData());
    QVERIFY2(traceLines(run.err).isEmpty(), run.err.constData());
    QCOMPARE(ptyState(), before);
}

void VornctlTest::badPlansSendNothing_data()
{
    QTest::addColumn<QByteArray>("plan");
    QTest::addColumn<QString>("refusal"); // after the file's name
    const QByteArray named = "name: P\nrevision: 1\n";
    QTest::newRow("unknown key") << named + "retests: 3\n"
                                 << ":3:1: unknown key 'retests'";
    QTest::newRow("key twice") << named + "revision: 2\n"
                               << ":3:1: 'revision' is given twice (first on line 2)";
    QTest::newRow("key twice in a limit") << named + "limits: {firmware: {low: 1, low: 2}}\n"
                                          << ":3:29: 'low' is given twice";
    QTest::newRow("unknown step") << named + "steps: [identify, stat]\n"
                                  << ":3:19: unknown step 'stat'";
    QTest::newRow("unknown measurement") << named + "limits:\n  firmwares: {low: 4}\n"
                                         << ":4:3: unknown measurement 'firmwares'";
    QTest::newRow("limit of the wrong type") << named + "limits:\n  firmware: {low: four}\n"
                                             << ":4:19: low must be a number";
    QTest::newRow("range on true or false") << named + "limits:\n  cts_active: {low: 1}\n"
                                            << ":4:15: 'cts_active' is true or false";
    QTest::newRow("low above high") << named + "limits:\n  time_setting_s: {low: 9, high: 3}\n"
                                    << ":4:34: high 3 is below low 9";
    QTest::newRow("the reader's own limit")
        << named + "limits:\n  slots_selectable: {equals: 2}\n"
        << ":4:3: the limit of 'slots_selectable' comes from the reader";
    QTest::newRow("no name") << QByteArray("revision: 1\n") << ":1:1: the plan has no name";
    QTest::newRow("no revision") << QByteArray("name: P\n") << ":1:1: the plan has no revision";
    QTest::newRow("eight clocks for model 4")
        << named + "model: 4\nprogram_time_s: 1\nprogram_clocks: [8, 8, 8, 8, 8, 8, 8, 8]\n"
        << ":5:17: a Vorn4 stores 4 clocks, not 8";
    QTest::newRow("not YAML") << named + "steps: [identify\n"
                              << ":4:1: end of sequence flow";
}

void VornctlTest::badPlansSendNothing()
{
    QFETCH(QByteArray, plan);
    QFETCH(QString, refusal);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("bad.yaml"));
    QFile written(file);
    QVERIFY(written.open(QIODevice::WriteOnly) && written.write(plan) == plan.size());
    written.close();
    const QByteArray before = ptyState();
    const Run run =
        vornctl({"--trace", "--port", m_pty.terminalPath(), "checkout", "--plan", file});
    QCOMPARE(run.exitCode, 2);
    // The refusal is one line with its place, not followed by the usage of every option.
    QVERIFY2(run.err.startsWith("vornctl: " + (file + refusal).toUtf8()), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY2(traceLines(run.err).isEmpty(), run.err.constData());
    QCOMPARE(ptyState(), before);
    const Run checked = vornctl({"plan", "check", file});
    QCOMPARE(checked.exitCode, 2);
    QVERIFY2(checked.err.startsWith((file + refusal).toUtf8()), checked.err.constData());
}

void VornctlTest::planListOfNothingSaysWhereItLooked()
{
    QTemporaryDir config;
    const Run listed = vornctl({"plan", "list"}, {}, {}, {{"XDG_CONFIG_HOME", config.path()}});
    QCOMPARE(listed.exitCode, 0);
    QVERIFY2(listed.out.startsWith("no plans installed in " + config.path().toUtf8() +
                                   "/vorn-tool/plans or /etc/vorn-tool/plans"),
             listed.out.constData());
}

void VornctlTest::plansOfOneRevisionTellTheirLimitsApart()
{
    QTemporaryDir folder;
    const QString records = QStringLiteral("sqlite:") + folder.filePath(QStringLiteral("r.sqlite"));
    QStringList hashes;
    for (const char *firmware : {"1", "2"}) {
        const QString file = folder.filePath(QStringLiteral("same-%1.yml").arg(firmware));
        QFile plan(file);
        QVERIFY(plan.open(QIODevice::WriteOnly));
        plan.write(QByteArray("# the same plan, one limit apart\nname: Same\nrevision: 7\n"
                              "prompt: false\nlimits:\n  firmware: {low: ") +
                   firmware + "}\n");
        plan.close();
        const Run checked = vornctl({"plan", "check", file});
        QCOMPARE(checked.exitCode, 0);
        hashes.append(QString::fromUtf8(checked.out.trimmed().split(' ').last()));
        QCOMPARE(vornctl({"--records", records, "--port", "emu-vorn8", "checkout", "--plan", file})
                     .exitCode,
                 0);
    }
    QCOMPARE(hashes.size(), 2);
    QVERIFY(hashes.first() != hashes.last());
    const Run listed =
        vornctl({"--records", records, "records", "list", "--plan", "Same", "--json"});
    QStringList kept;
    for (const auto &summary : jsonOf(listed.out).value(QLatin1String("records")).toArray()) {
        const Run shown =
            vornctl({"--records", records, "records", "show",
                     summary.toObject().value(QLatin1String("id")).toString(), "--json"});
        const QJsonObject plan = jsonOf(shown.out).value(QLatin1String("plan")).toObject();
        QCOMPARE(plan.value(QLatin1String("revision")).toString(), QStringLiteral("7"));
        kept.prepend(plan.value(QLatin1String("sha256")).toString());
    }
    QCOMPARE(kept, hashes);
    // The yield of one plan: its two checkouts of one reader, the reader retested.
    const QJsonObject report = jsonOf(vornctl({"--records", records, "records", "report", "--plan",
                                               "Same", "--by", "plan", "--json"})
                                          .out);
    QCOMPARE(report.value(QLatin1String("checkouts")).toInt(), 2);
    QCOMPARE(report.value(QLatin1String("retested_readers")).toInt(), 1);
    const QJsonArray groups = report.value(QLatin1String("groups")).toArray();
    QCOMPARE(groups.size(), 1);
    QCOMPARE(groups.first().toObject().value(QLatin1String("key")).toString(), "Same");
}

void VornctlTest::checkoutPortsFromEnvironment()
{
    // VORN_PORT lists several ports for the checkout only.
    QCOMPARE(vornctl({"status"}, "emu-vorn8,emu-vorn4").exitCode, 2);
    const Run listed = vornctl({"--json", "checkout"}, "emu-vorn8,emu-vorn4");
    QCOMPARE(listed.exitCode, 0);
    QCOMPARE(readersOfJson(listed.out).size(), 2);
}

void VornctlTest::checkoutKeepsItsRecords()
{
    QTemporaryDir folder;
    const QString records = QStringLiteral("sqlite:") + folder.filePath(QStringLiteral("r.sqlite"));
    const Run checked = vornctl({"--records", records, "--json", "--port", "emu-vorn8", "--port",
                                 m_pty.terminalPath(), "checkout", "--station", "line-3"});
    QCOMPARE(checked.exitCode, 0);
    QStringList ids;
    for (const auto &reader : jsonOf(checked.out).value(QLatin1String("readers")).toArray())
        ids.append(reader.toObject().value(QLatin1String("id")).toString());

    const Run listed = vornctl({"--records", records, "records", "list", "--json"});
    QCOMPARE(listed.exitCode, 0);
    QStringList kept;
    for (const auto &record : jsonOf(listed.out).value(QLatin1String("records")).toArray()) {
        QCOMPARE(record.toObject().value(QLatin1String("station")).toString(), "line-3");
        kept.append(record.toObject().value(QLatin1String("id")).toString());
    }
    ids.sort();
    kept.sort();
    QCOMPARE(kept, ids);
    QCOMPARE(kept.size(), 2);

    // A location that cannot be understood stops the checkout before any port opens.
    const QByteArray before = ptyState();
    for (const char *url : {"mysql://db/records", "postgresql://station:secret@db/records"}) {
        const Run refused = vornctl({"--records", QLatin1String(url), "--trace", "--port",
                                     m_pty.terminalPath(), "checkout"});
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.err.contains("Usage: vornctl"), refused.err.constData());
        QVERIFY2(traceLines(refused.err).isEmpty(), refused.err.constData());
    }
    QCOMPARE(ptyState(), before);
}

void VornctlTest::recordsWaitForTheirHashLibrary()
{
    // OpenSSL's libcrypto, which makes the records' hashes, is loaded when the first one is
    // made; here a file that is no library stands in its place.
    QTemporaryDir folder;
    QFile broken(folder.filePath(QStringLiteral("libcrypto.so.3")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a library");
    broken.close();
    const QMap<QString, QString> withoutLibrary{{QStringLiteral("LD_LIBRARY_PATH"), folder.path()}};
    const QString records = QStringLiteral("sqlite:") + folder.filePath(QStringLiteral("r.sqlite"));

    // A record that cannot be hashed is not kept without its hash: it waits in the outbox.
    const Run checked = vornctl({"--records", records, "--json", "--port", "emu-vorn4", "checkout"},
                                {}, {}, withoutLibrary);
    QVERIFY2(checked.exitCode == 0, qPrintable(describe(checked.out, checked.err)));
    QVERIFY2(checked.err.contains("libcrypto") && checked.err.contains("outbox"),
             checked.err.constData());
    const QString id =
        jsonOf(checked.out)[QLatin1String("readers")][0][QLatin1String("id")].toString();
    // Nor are the kept records called changed: they cannot be checked.
    const Run unverified =
        vornctl({"--records", records, "records", "verify"}, {}, {}, withoutLibrary);
    QVERIFY2(unverified.exitCode == 3, qPrintable(describe(unverified.out, unverified.err)));
    QVERIFY2(unverified.err.contains("libcrypto"), unverified.err.constData());

    // With the library back, the record goes in with its chain whole.
    QCOMPARE(vornctl({"--records", records, "records", "sync"}).exitCode, 0);
    const Run verified = vornctl({"--records", records, "records", "verify"});
    QVERIFY2(verified.exitCode == 0, qPrintable(describe(verified.out, verified.err)));
    const Run shown = vornctl({"--records", records, "records", "show", id});
    QVERIFY2(shown.exitCode == 0, qPrintable(describe(shown.out, shown.err)));
}

VornctlTest::Run VornctlTest::runAway(const QTemporaryDir &folder, const QString &program,
                                      const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), folder.filePath(QStringLiteral("data")));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run ran;
    if (!process.waitForFinished(20000))
        return ran;
    ran.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    ran.out = process.readAllStandardOutput();
    ran.err = process.readAllStandardError();
    return ran;
}

QString VornctlTest::copiedAway(const QTemporaryDir &folder)
{
    QString copied = folder.filePath(QStringLiteral("bin/vornctl"));
    if (!QDir().mkpath(folder.filePath(QStringLiteral("bin"))) ||
        !QFile::copy(QStringLiteral(VORNCTL_PATH), copied))
        return {};
    return copied;
}

void VornctlTest::messagesWaitForTheirClient()
{
    // A vornctl copied away from its lib/vorn-tool finds no AMQP client to publish with.
    if (QFileInfo::exists(QStringLiteral(VORN_MODULES_INSTALLED "/libvorn-amqp.so")))
        QSKIP("an installed AMQP client would be found from anywhere");
    QTemporaryDir folder;
    const QString copied = copiedAway(folder);
    QVERIFY(!copied.isEmpty());
    const QString broker = QStringLiteral("amqp://127.0.0.1:1/queue/line1");
    const auto run = [&folder](const QString &program, const QStringList &arguments) {
        return runAway(folder, program, arguments);
    };

    // The checkout and its record are as ever; its messages wait in the spool, and why is said.
    const Run checked =
        run(copied, {"--records", "sqlite:" + folder.filePath(QStringLiteral("r.sqlite")), "--port",
                     "emu-vorn4", "checkout", "--publish", broker});
    QVERIFY2(checked.exitCode == 0, qPrintable(describe(checked.out, checked.err)));
    QVERIFY2(checked.err.contains("AMQP client libvorn-amqp.so is not installed"),
             checked.err.constData());
    // Sending what waits fails, as with a broker away, and nothing leaves the spool.
    const Run pending = run(copied, {"records", "publish", "--pending", "--publish", broker});
    QVERIFY2(pending.exitCode == 4, qPrintable(describe(pending.out, pending.err)));
    QVERIFY2(pending.err.contains("still wait in the spool"), pending.err.constData());
    // The program where it was built reaches its client: the broker's absence is what it reports.
    const Run reached =
        run(QStringLiteral(VORNCTL_PATH), {"records", "publish", "--pending", "--publish", broker});
    QVERIFY2(reached.exitCode == 4 && reached.err.contains("refused the connection"),
             qPrintable(describe(reached.out, reached.err)));
    QVERIFY2(reached.err.contains("still wait in the spool"), reached.err.constData());
}

void VornctlTest::modulesAreFoundBesideTheProgram_data()
{
    QTest::addColumn<QString>("module");
    QTest::addColumn<QStringList>("arguments"); // %1 is a plan file
    QTest::addColumn<int>("exitAway");
    QTest::addColumn<int>("exitBuilt");
    QTest::addColumn<QByteArray>("built"); // what the program where it was built says

    // Nothing listens at the port's address.
    QTest::newRow("a network port")
        << "libvorn-netport.so" << QStringList{"--port", "socket://127.0.0.1:1", "info"} << 3 << 3
        << QByteArray("refused the connection");
    QTest::newRow("a plan file") << "libvorn-planfile.so" << QStringList{"plan", "check", "%1"} << 2
                                 << 0 << QByteArray("revision 1  sha256 ");
}

void VornctlTest::modulesAreFoundBesideTheProgram()
{
    // A vornctl copied away from its lib/vorn-tool has neither the client of network serial
    // ports nor the plan file reader: it says which is missing and fails as for a port that
    // does not open or a plan it cannot read.
    QFETCH(QString, module);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitAway);
    QFETCH(int, exitBuilt);
    QFETCH(QByteArray, built);
    if (QFileInfo::exists(QStringLiteral(VORN_MODULES_INSTALLED "/") + module))
        QSKIP("an installed module would be found from anywhere");
    QTemporaryDir folder;
    const QString copied = copiedAway(folder);
    QVERIFY(!copied.isEmpty());
    QFile plan(folder.filePath(QStringLiteral("plan.yaml")));
    QVERIFY(plan.open(QIODevice::WriteOnly));
    plan.write("name: bench\nrevision: 1\n");
    plan.close();
    arguments.replaceInStrings(QStringLiteral("%1"), plan.fileName());
    const Run away = runAway(folder, copied, arguments);
    QVERIFY2(away.exitCode == exitAway, qPrintable(describe(away.out, away.err)));
    QVERIFY2(away.err.contains(module.toUtf8() + " is not installed"), away.err.constData());
    const Run reached = runAway(folder, QStringLiteral(VORNCTL_PATH), arguments);
    QVERIFY2(reached.exitCode == exitBuilt && (reached.out + reached.err).contains(built),
             qPrintable(describe(reached.out, reached.err)));
}

void VornctlTest::checkoutRecordLost_data()
{
    QTest::addColumn<QStringList>("ports"); // "pty:OPTIONS" is a vorn-emulator started so
    QTest::addColumn<bool>("fullDisk");     // else folders that cannot be made
    QTest::addColumn<int>("exitCode");

    QTest::newRow("passed, folders unusable") << QStringList{Vorn8} << false << 4;
    QTest::newRow("failed, folders unusable")
        << QStringList{"pty:--defect echo-bit-6"} << false << 4;
    QTest::newRow("a port did not open, folders unusable")
        << QStringList{Vorn8, "/dev/ttyVORN-missing"} << false << 3;
    QTest::newRow("passed, disk full") << QStringList{Vorn4, Vorn8} << true << 4;
}

void VornctlTest::checkoutRecordLost()
{
    QFETCH(QStringList, ports);
    QFETCH(bool, fullDisk);
    QFETCH(int, exitCode);

    // The records database and the outbox both where nothing can be written.
    QTemporaryDir folder;
    FullDisk disk;
    QString place = folder.filePath(QStringLiteral("full"));
    if (fullDisk) {
        if (!disk.mount(place))
            QSKIP(qPrintable(QStringLiteral("needs a small tmpfs of its own: ") + disk.why()));
        QVERIFY(disk.fill());
    } else {
        // A regular file where the folders would have to be.
        place = folder.filePath(QStringLiteral("blocker"));
        QFile blocker(place);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    std::vector<std::unique_ptr<EmulatorProcess>> emulators;
    QStringList arguments{"--records", "sqlite:" + place + "/records.sqlite", "--json"};
    for (const QString &port : ports) {
        QString name = port;
        if (port.startsWith(QLatin1String("pty:"))) {
            emulators.push_back(std::make_unique<EmulatorProcess>());
            QVERIFY(emulators.back()->start(QStringLiteral(VORN_EMULATOR_PATH),
                                            port.mid(4).split(' ', Qt::SkipEmptyParts)));
            name = emulators.back()->terminalPath();
        }
        arguments << "--port" << name;
    }
    const Run run = vornctl(arguments + QStringList{"checkout"}, {}, {},
                            {{QStringLiteral("XDG_DATA_HOME"), place + QStringLiteral("/data")}});
    QVERIFY2(run.exitCode == exitCode, qPrintable(describe(run.out, run.err)));
    // Each reader's record is named as lost, by the id the JSON report gives it.
    const QJsonArray readers = jsonOf(run.out).value(QLatin1String("readers")).toArray();
    QCOMPARE(readers.size(), ports.size());
    for (const QJsonValue reader : readers) {
        const QString lost = QStringLiteral("vornctl: the record %1 of %2 was not kept: ")
                                 .arg(reader[QLatin1String("id")].toString(),
                                      reader[QLatin1String("port")].toString());
        QVERIFY2(run.err.contains(lost.toUtf8()), qPrintable(lost + QLatin1Char('\n') + run.err));
    }
}

namespace {

// The ids of the records a records file holds; none when it cannot be read.
QStringList storedIds(const QString &file)
{
    RecordsStore store(*RecordsLocation::parse(QStringLiteral("sqlite:") + file, nullptr));
    QStringList ids;
    if (!store.open(RecordsStore::OpenMode::ReadOnly))
        return ids;
    for (const RecordSummary &summary : store.list({}).value_or(QList<RecordSummary>()))
        ids.append(summary.id);
    return ids;
}

} // namespace

void VornctlTest::checkoutEndPublishedOnlyOnceKept_data()
{
    // Killed once the reader whose port does not open is done and the other one waits for the
    // operator; or run to the end with a record that could be kept nowhere.
    QTest::addColumn<bool>("killed");
    QTest::newRow("killed after one of two readers") << true;
    QTest::newRow("record kept nowhere") << false;
}

void VornctlTest::checkoutEndPublishedOnlyOnceKept()
{
    QFETCH(bool, killed);
    QTemporaryDir folder;
    const QString data = folder.filePath(QStringLiteral("data"));
    QString records = folder.filePath(QStringLiteral("records.sqlite"));
    if (!killed) {
        // A regular file where the records' folder would be, a folder where the outbox would
        // be: the record is lost, while the spool can be written.
        QFile blocker(folder.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        records = blocker.fileName() + QStringLiteral("/records.sqlite");
        QVERIFY(QDir().mkpath(data + QStringLiteral("/vorn-tool/outbox.sqlite")));
    }
    // Nothing listens there: every message stays in the spool.
    const QString broker = QStringLiteral("amqp://127.0.0.1:1/queue/line");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VORNCTL_PATH),
                  {"--records", "sqlite:" + records, "--port", "/dev/ttyVORN-missing", "--port",
                   Vorn8, "checkout", killed ? "--prompt" : "--no-prompt", "--publish", broker});
    const QString spool = data + QStringLiteral("/vorn-tool/publish-spool.sqlite");
    const QString url = PublishTarget::parse(broker, nullptr)->url();
    if (killed) {
        QTRY_VERIFY_WITH_TIMEOUT(
            storedIds(records).size() == 1 && spooledEnds(spool, url).size() == 2, 20000);
        process.kill();
    }
    QVERIFY(process.waitForFinished(20000));
    // A port that did not open outranks a record lost.
    QVERIFY2(killed || process.exitCode() == 3, process.readAllStandardError().constData());

    // Every end on its way to the bus is the end of a record kept.
    const QStringList kept = storedIds(records);
    const QList<PublishSpool::Entry> ends = spooledEnds(spool, url);
    QCOMPARE(ends.size(), 2 * kept.size());
    for (const PublishSpool::Entry &end : ends)
        QVERIFY2(std::any_of(kept.cbegin(), kept.cend(),
                             [&end](const QString &id) { return end.body.contains(id.toUtf8()); }),
                 end.body.constData());
}

void VornctlTest::junitWriteFailureKeepsTheOldReport()
{
    QTemporaryDir folder;
    FullDisk disk;
    const QString full = folder.filePath(QStringLiteral("full"));
    if (!disk.mount(full))
        QSKIP(qPrintable(QStringLiteral("needs a small tmpfs of its own: ") + disk.why()));
    const QString junit = full + QStringLiteral("/checkout.xml");
    const QByteArray earlier = "<testsuites name=\"the run before\"/>\n";
    {
        QFile report(junit);
        QVERIFY(report.open(QIODevice::WriteOnly));
        QCOMPARE(report.write(earlier), earlier.size());
    }
    QVERIFY(disk.fill());

    const Run run = vornctl({"--no-records", "--port", Vorn8, "checkout", "--junit", junit});
    QVERIFY2(run.exitCode == 3, qPrintable(describe(run.out, run.err)));
    QVERIFY2(run.err.contains("vornctl: cannot write the JUnit report " + junit.toUtf8()),
             run.err.constData());
    // The checkout itself was reported.
    QVERIFY2(run.out.contains("PASS  emu-vorn8"), run.out.constData());
    QFile report(junit);
    QVERIFY(report.open(QIODevice::ReadOnly));
    QCOMPARE(report.readAll(), earlier);
    // No half-written report left beside it.
    QCOMPARE(QDir(full).entryList(QDir::Files | QDir::Hidden),
             (QStringList{QStringLiteral("checkout.xml"), QStringLiteral("filler")}));
}

void VornctlTest::checkoutAsksTheOperator()
{
    QProcess process;
    process.start(QStringLiteral(VORNCTL_PATH),
                  {"--port", Vorn8, "checkout", "--prompt", "--cards", "--json"});
    process.write("maybe\nn\nn\n"); // an answer that is none is asked again
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(20000));
    const QByteArray err = process.readAllStandardError();
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 1,
             err.constData());
    verifyInOrder(err,
                  {"emu-vorn8  SN 001234: Did every dot of the display light? [y/n] ",
                   "Please answer y or n.",
                   "emu-vorn8  SN 001234: Insert a card into every slot. Are they all in? [y/n] "});
    QCOMPARE(readersOfJson(process.readAllStandardOutput()).first().failed,
             (QStringList{"display:fail", "cards:fail"}));
}

void VornctlTest::checkoutOfAVanishingReader()
{
    EmulatorProcess vanishing;
    QVERIFY(vanishing.start(QStringLiteral(VORN_EMULATOR_PATH)));
    QProcess process;
    process.start(QStringLiteral(VORNCTL_PATH),
                  {"--trace", "--port", vanishing.terminalPath(), "--port", Vorn4, "checkout",
                   "--echo", "all", "--json"});
    // Pulled out during the echo of all 256 bytes.
    QByteArray trace;
    QTRY_VERIFY_WITH_TIMEOUT((trace += process.readAllStandardError()).contains("> 65 80"), 20000);
    vanishing.kill();
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 1);
    const QJsonObject document = jsonOf(process.readAllStandardOutput());
    const QJsonArray readers = document.value(QLatin1String("readers")).toArray();
    QCOMPARE(readers.size(), 2);
    const QJsonObject lost = readers.at(0).toObject();
    QCOMPARE(lost.value(QLatin1String("outcome")).toString(), QStringLiteral("error"));
    QCOMPARE(lost.value(QLatin1String("restored")).toBool(), false);
    const QJsonArray steps = lost.value(QLatin1String("steps")).toArray();
    QCOMPARE(steps.at(6)[QLatin1String("name")].toString(), QStringLiteral("echo"));
    QVERIFY2(steps.at(6)[QLatin1String("message")].toString().startsWith(
                 QLatin1String("the port was lost at the echo of")),
             qPrintable(steps.at(6)[QLatin1String("message")].toString()));
    QCOMPARE(steps.at(7)[QLatin1String("outcome")].toString(), QStringLiteral("skip"));
    // The other reader goes on to the end.
    QCOMPARE(readers.at(1)[QLatin1String("outcome")].toString(), QStringLiteral("pass"));
}

// The threads (their ids) of a process whose signal mask lets one of signals through, but for
// the one waiting for them in sigwait (the kernel lets them through while it waits).
static QStringList threadsNotBlocking(qint64 pid, const QList<int> &signals_)
{
    QStringList threads;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &thread : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(thread + QStringLiteral("/status")));
        QFile syscall(tasks.filePath(thread + QStringLiteral("/syscall")));
        if (!status.open(QIODevice::ReadOnly) || !syscall.open(QIODevice::ReadOnly))
            continue; // ended meanwhile
        if (syscall.readAll().split(' ').constFirst().toLong() == SYS_rt_sigtimedwait)
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (!line.startsWith("SigBlk:"))
                continue;
            const quint64 blocked = line.mid(7).trimmed().toULongLong(nullptr, 16);
            for (const int signal : signals_) {
                if (!(blocked & (quint64(1) << (signal - 1)))) {
                    threads.append(thread);
                    break;
                }
            }
        }
    }
    return threads;
}

void VornctlTest::checkoutInterrupted_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QByteArray>("sent"); // the request in flight when the signal comes
    QTest::newRow("Ctrl+C in the echo") << SIGINT << QByteArray("> 65 10");
    QTest::newRow("SIGTERM in select-slot") << SIGTERM << QByteArray("> 73 ");
    QTest::newRow("SIGHUP in clocks") << SIGHUP << QByteArray("> 63 ");
}

void VornctlTest::checkoutInterrupted()
{
    QFETCH(int, signal);
    QFETCH(QByteArray, sent);
    const QByteArray before = ptyState();
    QProcess process;
    // With a broker to tell (none listens there), whose connection has a thread of its own.
    process.start(QStringLiteral(VORNCTL_PATH),
                  {"--trace", "--port", m_pty.terminalPath(), "checkout", "--echo", "all", "--json",
                   "--publish", "amqp://guest@127.0.0.1:9/queue/interrupted"});
    QByteArray trace;
    QTRY_VERIFY_WITH_TIMEOUT((trace += process.readAllStandardError()).contains(sent), 20000);
    // The kernel gives a signal to any thread that does not block it: every thread leaves the
    // stopping signals to the one that waits for them, or the signal ends the process there.
    const QStringList unblocking =
        threadsNotBlocking(process.processId(), {SIGINT, SIGTERM, SIGHUP});
    QVERIFY2(unblocking.isEmpty(), qPrintable(unblocking.join(QLatin1Char(' '))));
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(20000));
    // What it said last, where a sanitizer's report of a crash would be.
    const QByteArray said = (trace + process.readAllStandardError()).right(6000);
    QVERIFY2(process.exitStatus() == QProcess::NormalExit, said.constData());
    QVERIFY2(process.exitCode() == 128 + signal,
             qPrintable(QStringLiteral("exit code %1\n").arg(process.exitCode()) + said));
    const QJsonObject reader =
        jsonOf(process.readAllStandardOutput())[QLatin1String("readers")][0].toObject();
    QCOMPARE(reader.value(QLatin1String("outcome")).toString(), QStringLiteral("aborted"));
    QVERIFY(reader.value(QLatin1String("restored")).toBool());
    // Put back as found: the slot that was selected, the clocks the reader had.
    QCOMPARE(ptyState(), before);
}

void VornctlTest::killedCheckoutIsPutBackFirst_data()
{
    QTest::addColumn<QStringList>("after"); // what runs on the port after the kill
    QTest::addColumn<QByteArray>("says");
    QTest::newRow("the next checkout") << QStringList{"checkout", "--json", "--no-records"}
                                       << QByteArray("\"restored_previous\":\"slot ");
    QTest::newRow("vornctl restore") << QStringList{"restore"} << QByteArray("put back slot ");
}

void VornctlTest::killedCheckoutIsPutBackFirst()
{
    QFETCH(QStringList, after);
    QFETCH(QByteArray, says);
    // A selected slot and clocks of the reader's own, which a checkout's patterns never end on.
    QCOMPARE(onPty({"select-slot", "3"}).exitCode, 0);
    QCOMPARE(onPty({"set-clocks", "6.00", "3.57", "8.00", "3.68", "3.57", "3.57", "3.57", "3.57"})
                 .exitCode,
             0);
    const QByteArray before = ptyState();
    QProcess killed;
    killed.start(QStringLiteral(VORNCTL_PATH),
                 {"--trace", "--port", m_pty.terminalPath(), "checkout", "--no-records"});
    QByteArray trace;
    QTRY_VERIFY_WITH_TIMEOUT((trace += killed.readAllStandardError()).contains("> 63 "), 20000);
    killed.kill(); // in the clocks step: no chance to put anything back
    QVERIFY(killed.waitForFinished(20000));
    QVERIFY(ptyState() != before);

    const Run run = onPty(after);
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run.out, run.err)));
    QVERIFY2(run.out.contains(says), run.out.constData());
    QCOMPARE(ptyState(), before);
    // Once put back, the note is gone: the next checkout finds nothing to put back.
    QVERIFY(onPty({"restore"}).out.startsWith("nothing to put back"));
}

void VornctlTest::checkoutOfEightPtyReaders()
{
    std::array<EmulatorProcess, 8> readers;
    QStringList arguments;
    for (std::size_t i = 0; i < readers.size(); ++i) {
        QVERIFY(
            readers[i].start(QStringLiteral(VORN_EMULATOR_PATH),
                             {"--serial", QString::number(100 + i), "--model", i % 2 ? "4" : "8"}));
        arguments << "--port" << readers[i].terminalPath();
    }
    for (const EmulatorProcess &reader : readers)
        QVERIFY(answersOnceStarted(reader.terminalPath()));
    const Run run = vornctl(arguments + QStringList{"checkout", "--json"});
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run.out, run.err)));
    const QJsonArray checked = jsonOf(run.out)[QLatin1String("readers")].toArray();
    QCOMPARE(checked.size(), 8);
    for (qsizetype i = 0; i < checked.size(); ++i) {
        QCOMPARE(checked.at(i)[QLatin1String("serial")].toString(),
                 QStringLiteral("%1").arg(100 + i, 6, 10, QLatin1Char('0')));
        QCOMPARE(checked.at(i)[QLatin1String("outcome")].toString(), QStringLiteral("pass"));
    }
}

QTEST_GUILESS_MAIN(VornctlTest)
#include "tst_vornctl.moc"
