#include "checkout/checkoutobserver.h"
#include "checkout/checkoutrunner.h"
#include "checkout/filesync.h"
#include "checkout/planreader.h"
#include "checkout/presencewatch.h"
#include "checkout/readercheckout.h"
#include "checkout/readerjournalfolder.h"
#include "checkout/retestgate.h"
#include "checkout/stepcatalogue.h"
#include "emulator/emulatedreader.h"
#include "emulator/linefactory.h"
#include "emulator/readerdefect.h"
#include "serial/serialline.h"
#include "serial/virtualclock.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <mutex>

namespace {

const QString Vorn8 = QStringLiteral("emu-vorn8");
const QString Vorn4 = QStringLiteral("emu-vorn4");

// The operator as a test plays it: answers every question (yes unless told otherwise), and may
// act on the reader or stop the checkout when a step starts.
class ScriptedOperator final : public CheckoutObserver
{
public:
    std::function<std::optional<bool>(const QString &question)> answer;
    std::function<void(const QString &step)> onStepStarted;
    QStringList questions;
    QList<int> finishedReaders;

    void stepStarted(int, const QString &, int, int, const QString &stepName) override
    {
        if (onStepStarted)
            onStepStarted(stepName);
    }
    void readerFinished(int reader, const ReaderRecord &) override
    {
        const std::lock_guard lock(m_lock);
        finishedReaders.append(reader);
    }
    std::optional<bool> ask(int, const QString &port, const QString &serial,
                            const QString &question) override
    {
        const std::lock_guard lock(m_lock);
        questions.append(port + QLatin1Char(' ') + serial + QLatin1Char(' ') + question);
        return answer ? answer(question) : true;
    }

private:
    std::mutex m_lock;
};

// The emulated readers behind their port names, each reader's thread on a virtual clock of
// its own.
struct Station
{
    EmulatedReader &reader(const QString &port) { return lines.emulatedReader(port); }
    CheckoutRunner runner()
    {
        return CheckoutRunner(
            [] { return std::make_unique<VirtualClock>(); },
            [this](const QString &name, WaitClock &clock) { return lines.create(name, clock); },
            options, observer);
    }
    ReaderRecord check(const QString &port) { return runner().checkReader(0, port, stop); }

    VirtualClock clock;
    LineFactory lines{clock};
    CheckoutOptions options;
    ScriptedOperator observer;
    CheckoutStop stop;
};

// The emulated line, watched: a test acts when a request of its choice has been written, in the
// middle of a step.
class WatchedLine final : public SerialLine
{
public:
    WatchedLine(std::unique_ptr<SerialLine> line, std::function<void(char command)> written)
        : m_line(std::move(line)), m_written(std::move(written))
    {
    }
    QString portName() const override { return m_line->portName(); }
    bool open() override { return m_line->open(); }
    void close() override { m_line->close(); }
    bool isOpen() const override { return m_line->isOpen(); }
    OpenFailure openFailure() const override { return m_line->openFailure(); }
    QString errorText() const override { return m_line->errorText(); }
    qint64 bytesWaiting() override { return m_line->bytesWaiting(); }
    qint64 read(char *data, qint64 maxSize) override { return m_line->read(data, maxSize); }
    qint64 write(const char *data, qint64 size) override
    {
        const qint64 written = m_line->write(data, size);
        if (size > 0)
            m_written(data[0]);
        return written;
    }
    void setDataTerminalReady(bool asserted) override { m_line->setDataTerminalReady(asserted); }
    void setRequestToSend(bool asserted) override { m_line->setRequestToSend(asserted); }
    ModemLines modemLines() override { return m_line->modemLines(); }

private:
    std::unique_ptr<SerialLine> m_line;
    std::function<void(char)> m_written;
};

QStringList stepsWith(const ReaderRecord &record, StepOutcome outcome)
{
    QStringList names;
    for (const StepRecord &step : record.steps)
        if (step.outcome == outcome)
            names.append(step.name);
    return names;
}

// The disk's sync as a test sees it: each sync with what the synced file held at that moment.
class RecordingSync final : public FileSync
{
public:
    QStringList synced; // "file CONTENT" or "folder PATH", in order
    bool fails = false;

    bool syncFile(int fd) override
    {
        QFile file(QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd)));
        synced.append(QStringLiteral("file ") + (file.open(QIODevice::ReadOnly)
                                                     ? QString::fromUtf8(file.readAll())
                                                     : QStringLiteral("(unreadable)")));
        return !fails;
    }
    bool syncFolder(const QString &folder) override
    {
        synced.append(QStringLiteral("folder ") + folder);
        return !fails;
    }
};

QString describe(const ReaderRecord &record)
{
    QString text;
    for (const StepRecord &step : record.steps)
        text += QStringLiteral("\n%1 %2 [%3] [%4] %5")
                    .arg(step.name, outcomeName(step.outcome), step.measured, step.limits,
                         step.message);
    return text;
}

} // namespace

class CheckoutTest : public QObject
{
    Q_OBJECT

private slots:
    void healthyReaderPassesEveryStep_data();
    void healthyReaderPassesEveryStep();
    void defectFailsItsStepOnly_data();
    void defectFailsItsStepOnly();
    void silentReaderEndsWithErrorAtItsStep_data();
    void silentReaderEndsWithErrorAtItsStep();
    void readerIsRestored_data();
    void readerIsRestored();
    void identificationLimits_data();
    void identificationLimits();
    void planLimitJudgesItsMeasurementOnly_data();
    void planLimitJudgesItsMeasurementOnly();
    void planIdentityIsItsContent();
    void operatorSaysNo();
    void cardsMessageNamesTheSlots();
    void endOfInputIsNoAnswer();
    void timeSettingLimit_data();
    void timeSettingLimit();
    void onlyAGoodReaderIsProgrammed_data();
    void onlyAGoodReaderIsProgrammed();
    void clocksPutBackAfterAnEndInTheirStep_data();
    void clocksPutBackAfterAnEndInTheirStep();
    void measurementsInTheRecord();
    void storedMeasurementOutcome_data();
    void storedMeasurementOutcome();
    void presenceOfAnAutomaticSocket_data();
    void presenceOfAnAutomaticSocket();
    void severalReadersAtOnce();
    void retestLimitAskedAfterTheIdentification_data();
    void retestLimitAskedAfterTheIdentification();
    void namedStepTheModelCannotRunIsNoPass();
    void undeclaredMeasurementIsAnError();
    void lastSlotsClockIsJudged();
    void journalNoteIsSyncedBeforeItCounts_data();
    void journalNoteIsSyncedBeforeItCounts();
};

void CheckoutTest::healthyReaderPassesEveryStep_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<quint8>("allSlots");
    QTest::addColumn<QStringList>("skipped");
    QTest::newRow("eight slots") << Vorn8 << quint8(0xFF) << QStringList{};
    QTest::newRow("four slots") << Vorn4 << quint8(0x0F) << QStringList{"tarvik"};
}

void CheckoutTest::healthyReaderPassesEveryStep()
{
    QFETCH(QString, port);
    QFETCH(quint8, allSlots);
    QFETCH(QStringList, skipped);
    Station station;
    EmulatedReader &reader = station.reader(port);
    const quint8 cards = reader.occupiedSlots();
    station.options.prompt = true;
    station.options.cards = true;
    station.options.echo = CheckoutOptions::Echo::All;
    station.options.programTimeCounts = 3060;
    ClockSelection programmed;
    programmed.setCode(1, 3);
    station.options.programClocks = programmed;
    station.observer.answer = [&](const QString &question) {
        reader.setOccupiedSlots(question.startsWith(QLatin1String("Insert")) ? allSlots : 0);
        return true;
    };

    // Every step of the catalogue passes: none records a measurement its declaration does not
    // name (that would end the step in error).
    const ReaderRecord record = station.check(port);
    QVERIFY2(record.outcome == ReaderOutcome::Pass, qPrintable(describe(record)));
    QCOMPARE(record.steps.size(), 12);
    QCOMPARE(stepsWith(record, StepOutcome::Skip), skipped);
    QVERIFY(record.restored);
    QCOMPARE(record.modelType, int(reader.modelType()));
    QCOMPARE(record.serialNumber, int(reader.serialNumber()));
    QCOMPARE(record.step("echo")->measurement("bytes_echoed")->value, QJsonValue(256));
    QCOMPARE(station.observer.questions.size(), 3);
    QVERIFY(station.observer.questions.first().startsWith(
        port + QLatin1Char(' ') + record.serialText() + QLatin1String(" Did every dot")));
    // The programmed settings are stored; the clocks are not put back over them.
    QCOMPARE(reader.storedClocks(), quint16(programmed.firstByte() << 8 | programmed.secondByte()));
    QCOMPARE(reader.workingClocks(), reader.storedClocks());
    QCOMPARE(reader.storedTime(), quint16(3060));
    reader.setOccupiedSlots(cards);
}

void CheckoutTest::defectFailsItsStepOnly_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("defect");
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("measurement"); // the one measurement outside its limit
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("named"); // what the step's message names

    QTest::newRow("echo bit 0") << Vorn8 << "echo-bit-0"
                                << "echo"
                                << "bytes_echoed" << 0 << "0x00 came back as 0x01";
    QTest::newRow("echo bit 7") << Vorn4 << "echo-bit-7"
                                << "echo"
                                << "bytes_echoed" << 0 << "0x00 came back as 0x80";
    QTest::newRow("clock stuck, slot 3") << Vorn8 << "clock-stuck-slot-3"
                                         << "clocks"
                                         << "clock_slots_following" << 7 << "slot 3 do not";
    QTest::newRow("clock stuck, slot 8") << Vorn8 << "clock-stuck-slot-8"
                                         << "clocks"
                                         << "clock_slots_following" << 7 << "slot 8 do not";
    QTest::newRow("clock stuck, slot 4 of four") << Vorn4 << "clock-stuck-slot-4"
                                                 << "clocks"
                                                 << "clock_slots_following" << 3 << "slot 4 do not";
    // A four-slot reader's clocks are compared on its four slots only.
    QTest::newRow("clock stuck, slot 5 of four") << Vorn4 << "clock-stuck-slot-5"
                                                 << ""
                                                 << "" << 0 << "";
    QTest::newRow("slot 2 unselectable") << Vorn8 << "slot-unselectable-2"
                                         << "select-slot"
                                         << "slots_selectable" << 7 << "slot 2 (slot 1 stayed";
    QTest::newRow("slot 8 unselectable") << Vorn8 << "slot-unselectable-8"
                                         << "select-slot"
                                         << "slots_selectable" << 7 << "slot 8 (slot 7 stayed";
    QTest::newRow("slot 4 of four unselectable")
        << Vorn4 << "slot-unselectable-4"
        << "select-slot"
        << "slots_selectable" << 3 << "slot 4 (slot 3 stayed";
    QTest::newRow("Tarvik disagrees") << Vorn8 << "tarvik-disagrees"
                                      << "tarvik"
                                      << "tarvik_occupancy" << 0x27 << "cards 1 2 3 6";
    QTest::newRow("Tarvik on four slots is never asked") << Vorn4 << "tarvik-disagrees"
                                                         << ""
                                                         << "" << 0 << "";
}

void CheckoutTest::defectFailsItsStepOnly()
{
    QFETCH(QString, port);
    QFETCH(QString, defect);
    QFETCH(QString, step);
    QFETCH(QString, measurement);
    QFETCH(int, value);
    QFETCH(QString, named);
    Station station;
    EmulatedReader &reader = station.reader(port);
    const std::optional<ReaderDefect> parsed = ReaderDefect::fromName(defect);
    QVERIFY(parsed);
    reader.setDefects({*parsed});
    const quint16 clocks = reader.workingClocks();
    const int selected = reader.selectedSlot();

    const ReaderRecord record = station.check(port);
    const QStringList expected = step.isEmpty() ? QStringList{} : QStringList{step};
    QVERIFY2(stepsWith(record, StepOutcome::Fail) == expected, qPrintable(describe(record)));
    QVERIFY(stepsWith(record, StepOutcome::Error).isEmpty());
    QCOMPARE(record.outcome, step.isEmpty() ? ReaderOutcome::Pass : ReaderOutcome::Fail);
    QStringList failedMeasurements;
    for (const StepRecord &each : record.steps)
        failedMeasurements += each.failedMeasurements();
    QCOMPARE(failedMeasurements, step.isEmpty() ? QStringList{} : QStringList{measurement});
    if (!step.isEmpty()) {
        QCOMPARE(record.step(step)->measurement(measurement)->value, QJsonValue(value));
        QVERIFY2(record.step(step)->message.contains(named), qPrintable(describe(record)));
    }
    QVERIFY(record.restored);
    QCOMPARE(reader.workingClocks(), clocks);
    QCOMPARE(reader.selectedSlot(), selected);
    QCOMPARE(reader.storedClocks(), clocks); // the checkout never stores unless told to
}

void CheckoutTest::silentReaderEndsWithErrorAtItsStep_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("step");
    QTest::addColumn<bool>("restored"); // only a reader left unchanged counts as restored
    for (const char *step :
         {"identify", "status", "select-slot", "clocks", "tarvik", "time", "echo"})
        QTest::addRow("vorn8 %s", step)
            << Vorn8 << step << (QByteArray(step) == "identify" || QByteArray(step) == "status");
    QTest::newRow("vorn4 echo") << Vorn4 << "echo" << false;
}

void CheckoutTest::silentReaderEndsWithErrorAtItsStep()
{
    QFETCH(QString, port);
    QFETCH(QString, step);
    QFETCH(bool, restored);
    Station station;
    EmulatedReader &reader = station.reader(port);
    // How many requests a healthy reader has heard when the step starts.
    int requestsBefore = -1;
    station.observer.onStepStarted = [&](const QString &name) {
        if (name == step)
            requestsBefore = int(reader.receivedRequests().size());
    };
    reader.clearReceivedRequests();
    QCOMPARE(station.check(port).outcome, ReaderOutcome::Pass);
    QVERIFY(requestsBefore >= 0);
    station.observer.onStepStarted = nullptr;

    reader.setDefects({{ReaderDefect::Kind::NoAnswerAfter, requestsBefore}});
    const ReaderRecord record = station.check(port);
    reader.setDefects({});
    QCOMPARE(record.outcome, ReaderOutcome::Error);
    QVERIFY2(stepsWith(record, StepOutcome::Error) == QStringList{step},
             qPrintable(describe(record)));
    QVERIFY(stepsWith(record, StepOutcome::Fail).isEmpty());
    const qsizetype at = record.steps.indexOf(*record.step(step));
    for (qsizetype i = at + 1; i < record.steps.size(); ++i)
        QCOMPARE(record.steps.at(i).outcome, StepOutcome::Skip);
    QVERIFY(record.steps.at(at).message.startsWith(QLatin1String("no ")));
    QCOMPARE(record.restored, restored);
}

void CheckoutTest::readerIsRestored_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<ReaderOutcome>("outcome");
    QTest::addColumn<bool>("restored");
    QTest::newRow("after a fail") << "fail" << ReaderOutcome::Fail << true;
    QTest::newRow("after an error") << "error" << ReaderOutcome::Error << true;
    QTest::newRow("after an interruption") << "stop" << ReaderOutcome::Aborted << true;
    QTest::newRow("after the reader vanished") << "vanish" << ReaderOutcome::Error << false;
}

void CheckoutTest::readerIsRestored()
{
    QFETCH(QString, how);
    QFETCH(ReaderOutcome, outcome);
    QFETCH(bool, restored);
    Station station;
    EmulatedReader &reader = station.reader(Vorn8);
    reader.setSelectedSlot(5);
    const quint16 clocks = reader.workingClocks();
    if (how == QLatin1String("fail"))
        reader.setDefects({{ReaderDefect::Kind::EchoBit, 2}});
    if (how == QLatin1String("error"))
        reader.setFault({FaultKind::OneByteShort, 'r', 1}); // the time reply comes short once
    if (how == QLatin1String("vanish"))
        reader.setFault({FaultKind::Vanished, 'r', -1});
    station.observer.onStepStarted = [&](const QString &name) {
        if (how == QLatin1String("stop") && name == QLatin1String("tarvik"))
            station.stop.request();
    };

    const ReaderRecord record = station.check(Vorn8);
    reader.setVanished(false);
    QCOMPARE(record.outcome, outcome);
    QCOMPARE(record.restored, restored);
    if (restored) {
        QCOMPARE(reader.selectedSlot(), 5);
        QCOMPARE(reader.workingClocks(), clocks);
    }
    if (how == QLatin1String("stop")) {
        QCOMPARE(record.step("tarvik")->outcome, StepOutcome::Pass); // a started step finishes
        QCOMPARE(record.step("time")->message, QStringLiteral("interrupted"));
    }
    if (how == QLatin1String("vanish"))
        QCOMPARE(record.step("time")->message,
                 QStringLiteral("the port was lost at the time request"));
    reader.setSelectedSlot(0);
}

void CheckoutTest::planLimitJudgesItsMeasurementOnly_data()
{
    QTest::addColumn<QString>("limits"); // of a plan, as YAML
    QTest::addColumn<QString>("failed"); // the one measurement outside its limit, or none
    // emu-vorn8: firmware 3, time setting 10 s, serial 1234.
    QTest::newRow("firmware tightened") << "firmware: {low: 4}"
                                        << "firmware";
    QTest::newRow("firmware loosened back") << "firmware: {low: 3}"
                                            << "";
    QTest::newRow("time tightened") << "time_setting_s: {low: 0, high: 9.5}"
                                    << "time_setting_s";
    QTest::newRow("time loosened back") << "time_setting_s: {low: 0, high: 10}"
                                        << "";
    QTest::newRow("model narrowed") << "model_type: {equals: 4}"
                                    << "model_type";
    QTest::newRow("serial outside a range") << "serial: {one_of: [1, 2]}"
                                            << "serial";
    QTest::newRow("a line must be active") << "cts_active: {equals: true}"
                                           << "cts_active";
}

void CheckoutTest::planLimitJudgesItsMeasurementOnly()
{
    QFETCH(QString, limits);
    QFETCH(QString, failed);
    QString error;
    const std::optional<CheckoutPlan> plan = PlanReader::read(
        "name: P\nrevision: 1\nlimits:\n  " + limits.toUtf8() + '\n', "p.yaml", &error);
    QVERIFY2(plan, qPrintable(error));
    Station station;
    station.options = plan->options;
    const ReaderRecord record = station.check(Vorn8);
    QStringList failedMeasurements;
    for (const StepRecord &step : record.steps)
        failedMeasurements += step.failedMeasurements();
    QCOMPARE(failedMeasurements, failed.isEmpty() ? QStringList{} : QStringList{failed});
    QCOMPARE(record.outcome, failed.isEmpty() ? ReaderOutcome::Pass : ReaderOutcome::Fail);
    QCOMPARE(record.plan, plan->options.plan);
}

void CheckoutTest::planIdentityIsItsContent()
{
    const auto identity = [](const QByteArray &text) {
        QString error;
        const std::optional<CheckoutPlan> plan = PlanReader::read(text, "p.yaml", &error);
        return plan ? plan->options.plan.sha256 : error;
    };
    const QString plain = identity("name: P\nrevision: 1\nlimits: {firmware: {low: 4}}\n");
    QCOMPARE(plain.size(), 64);
    // Comments, spacing and key order are not the plan; a value is.
    QCOMPARE(identity("# the P line\nlimits:\n  firmware:   {low: 4}  # raised\nrevision: 1\n"
                      "name: P\n"),
             plain);
    QVERIFY(identity("name: P\nrevision: 1\nlimits: {firmware: {low: 5}}\n") != plain);
}

void CheckoutTest::identificationLimits_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("minFirmware");
    QTest::addColumn<QString>("message"); // empty: identify passes
    QTest::newRow("model 8 on Vorn8") << Vorn8 << 8 << -1 << "";
    QTest::newRow("model 4 on Vorn8") << Vorn8 << 4 << -1 << "model type 8, not = 4";
    QTest::newRow("model 8 on Vorn4") << Vorn4 << 8 << -1 << "model type 4, not = 8";
    QTest::newRow("firmware 3 on 3") << Vorn8 << -1 << 3 << "";
    QTest::newRow("firmware 4 on 3") << Vorn8 << -1 << 4 << "firmware version 3, not >= 4";
    QTest::newRow("both wrong") << Vorn4 << 8 << 9
                                << "model type 4, not = 8; firmware version 2, not >= 9";
}

void CheckoutTest::identificationLimits()
{
    QFETCH(QString, port);
    QFETCH(int, model);
    QFETCH(int, minFirmware);
    QFETCH(QString, message);
    Station station;
    if (model > 0)
        station.options.model = quint8(model);
    if (minFirmware >= 0)
        station.options.minFirmware = quint8(minFirmware);
    const ReaderRecord record = station.check(port);
    const StepRecord &identify = *record.step("identify");
    QCOMPARE(identify.message, message);
    QCOMPARE(identify.outcome, message.isEmpty() ? StepOutcome::Pass : StepOutcome::Fail);
    // The other steps still run on the model the reader is.
    QCOMPARE(stepsWith(record, StepOutcome::Fail),
             message.isEmpty() ? QStringList{} : QStringList{"identify"});
}

// The slots a card step saw and wanted are said as slot numbers in its message, as in its
// measurements: never as the status byte ("not = 255").
void CheckoutTest::cardsMessageNamesTheSlots()
{
    Station station;
    station.options.prompt = true;
    station.options.cards = true;
    station.observer.answer = [](const QString &) { return true; };
    EmulatedReader &reader = station.reader(Vorn8);
    const quint8 cards = reader.occupiedSlots();
    reader.setOccupiedSlots(0x25); // cards stay in slots 1, 3 and 6 throughout
    const QString message = station.check(Vorn8).step("cards")->message;
    reader.setOccupiedSlots(cards);
    QVERIFY2(message.startsWith(QLatin1String("cards seen after inserting slots 1, 3, 6, not = "
                                              "slots 1, 2, 3, 4, 5, 6, 7, 8;")),
             qPrintable(message));
    QVERIFY2(message.contains(QLatin1String("cards seen after removing slots 1, 3, 6, not = "
                                            "no slots")),
             qPrintable(message));
    QVERIFY2(!message.contains(QLatin1String("255")), qPrintable(message));
}

void CheckoutTest::operatorSaysNo()
{
    Station station;
    station.options.prompt = true;
    station.observer.answer = [](const QString &) { return false; };
    const ReaderRecord record = station.check(Vorn4);
    QCOMPARE(stepsWith(record, StepOutcome::Fail), QStringList{"display"});
    QCOMPARE(station.reader(Vorn4).dotPatterns().size(), 12);

    // Without an operator nothing is sent for the display.
    station.options.prompt = false;
    station.reader(Vorn4).clearDisplay();
    QCOMPARE(station.check(Vorn4).step("display")->outcome, StepOutcome::Skip);
    QVERIFY(station.reader(Vorn4).dotPatterns().isEmpty());
}

void CheckoutTest::severalReadersAtOnce()
{
    Station station;
    station.reader(Vorn4).setDefects({{ReaderDefect::Kind::EchoBit, 1}});
    station.options.prompt = true; // the questions come from two threads at once
    const QStringList ports{Vorn8, QStringLiteral("/dev/ttyVORN-missing"), Vorn4};
    CheckoutRunner runner = station.runner();
    const CheckoutRun run = runner.run(ports);
    QCOMPARE(run.readers.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(run.readers.at(i).port, ports.at(i));
    QCOMPARE(run.readers.at(0).outcome, ReaderOutcome::Pass);
    QCOMPARE(run.readers.at(1).outcome, ReaderOutcome::Error);
    QVERIFY(
        run.readers.at(1).steps.first().message.startsWith(QLatin1String("the port did not open")));
    QCOMPARE(run.readers.at(2).outcome, ReaderOutcome::Fail);
    QCOMPARE(runner.unopenedPorts(), QStringList{ports.at(1)});
    QCOMPARE(run.outcome(), ReaderOutcome::Error);
    QCOMPARE(station.observer.questions.size(), 2);
    QCOMPARE(station.observer.finishedReaders.size(), 3);
    QVERIFY(run.readers.at(0).id != run.readers.at(2).id);
}

void CheckoutTest::endOfInputIsNoAnswer()
{
    Station station;
    station.options.prompt = true;
    station.options.cards = true;
    station.observer.answer = [](const QString &) { return std::nullopt; };
    const ReaderRecord record = station.check(Vorn8);
    const StepRecord &display = *record.step("display");
    QCOMPARE(display.outcome, StepOutcome::Error);
    QCOMPARE(display.message, QStringLiteral("no operator answer (end of input)"));
    QVERIFY(display.measurements.isEmpty()); // nobody saw the display: nothing is claimed
    QCOMPARE(record.outcome, ReaderOutcome::Error);
    QCOMPARE(record.step("cards")->outcome, StepOutcome::Skip);
}

void CheckoutTest::timeSettingLimit_data()
{
    QTest::addColumn<int>("counts");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<StepOutcome>("outcome");
    QTest::newRow("zero") << 0 << 0.0 << StepOutcome::Pass;
    QTest::newRow("428 s, the largest setting") << 428 * 153 << 428.0 << StepOutcome::Pass;
    QTest::newRow("a count beyond 428 s") << 0xFFFF << 428.33 << StepOutcome::Fail;
}

void CheckoutTest::timeSettingLimit()
{
    QFETCH(int, counts);
    QFETCH(double, seconds);
    QFETCH(StepOutcome, outcome);
    Station station;
    station.reader(Vorn4).setWorkingTime(quint16(counts));
    const ReaderRecord record = station.check(Vorn4);
    const StepRecord &time = *record.step("time");
    QCOMPARE(time.outcome, outcome);
    QCOMPARE(time.measurement("time_setting_s")->value.toDouble(), seconds);
    QCOMPARE(time.measurement("time_setting_s")->limit.toJson().toObject(),
             (QJsonObject{{"low", 0}, {"high", 428}}));
}

void CheckoutTest::onlyAGoodReaderIsProgrammed_data()
{
    QTest::addColumn<int>("model"); // the model asked for
    QTest::addColumn<QString>("defect");
    QTest::addColumn<QString>("refusal"); // empty: programmed
    QTest::newRow("good reader") << 8 << ""
                                 << "";
    QTest::newRow("wrong model") << 4 << ""
                                 << "not run: identify did not pass";
    QTest::newRow("echo fails") << 8 << "echo-bit-1"
                                << "not run: echo did not pass";
}

void CheckoutTest::onlyAGoodReaderIsProgrammed()
{
    QFETCH(int, model);
    QFETCH(QString, defect);
    QFETCH(QString, refusal);
    Station station;
    EmulatedReader &reader = station.reader(Vorn8);
    if (!defect.isEmpty())
        reader.setDefects({*ReaderDefect::fromName(defect)});
    const quint16 storedClocks = reader.storedClocks();
    const quint16 storedTime = reader.storedTime();
    station.options.model = quint8(model);
    ClockSelection clocks;
    for (int slot = 0; slot < 8; ++slot)
        clocks.setCode(slot, 3);
    station.options.programClocks = clocks;
    station.options.programTimeCounts = 153 * 7;

    const ReaderRecord record = station.check(Vorn8);
    for (const char *step : {"program-clocks", "program-time"}) {
        QCOMPARE(record.step(step)->outcome,
                 refusal.isEmpty() ? StepOutcome::Pass : StepOutcome::Skip);
        QCOMPARE(record.step(step)->message, refusal);
    }
    if (refusal.isEmpty()) {
        QCOMPARE(reader.storedTime(), quint16(153 * 7));
        QCOMPARE(record.step("program-clocks")->measurement("clock_slot_8")->value,
                 QJsonValue(8.0));
    } else {
        QCOMPARE(reader.storedClocks(), storedClocks);
        QCOMPARE(reader.storedTime(), storedTime);
    }
}

void CheckoutTest::clocksPutBackAfterAnEndInTheirStep_data()
{
    QTest::addColumn<bool>("stop"); // else the next clock read-back gets no reply
    QTest::newRow("stopped after the first clock write") << true;
    QTest::newRow("no reply after the first clock write") << false;
}

void CheckoutTest::clocksPutBackAfterAnEndInTheirStep()
{
    QFETCH(bool, stop);
    Station station;
    EmulatedReader &reader = station.reader(Vorn8);
    const quint16 clocks = reader.workingClocks();
    bool acted = false;
    CheckoutRunner runner([] { return std::make_unique<VirtualClock>(); },
                          [&](const QString &name, WaitClock &clock) {
                              return std::make_unique<WatchedLine>(
                                  station.lines.create(name, clock), [&](char command) {
                                      if (command != 'c' || acted)
                                          return;
                                      acted = true;
                                      if (stop)
                                          station.stop.request();
                                      else
                                          reader.setFault({FaultKind::NoAnswer, 'g', 1});
                                  });
                          },
                          station.options, station.observer);

    const ReaderRecord record = runner.checkReader(0, Vorn8, station.stop);
    QVERIFY(acted);
    QCOMPARE(record.step("clocks")->outcome, stop ? StepOutcome::Skip : StepOutcome::Error);
    QCOMPARE(reader.workingClocks(), clocks);
    QVERIFY(record.restored);
}

void CheckoutTest::measurementsInTheRecord()
{
    Station station;
    station.options.minFirmware = 2;
    const ReaderRecord record = station.check(Vorn8);
    const QJsonObject identify = record.toJson()["steps"].toArray().at(0).toObject();
    const QJsonArray measurements = identify["measurements"].toArray();
    QCOMPARE(measurements.size(), 3);
    QCOMPARE(measurements.at(0).toObject(),
             (QJsonObject{{"name", "model_type"},
                          {"value", 8},
                          {"unit", ""},
                          {"limit", QJsonObject{{"one_of", QJsonArray{4, 8}}}},
                          {"outcome", "pass"}}));
    QCOMPARE(measurements.at(1).toObject()["limit"].toObject(), (QJsonObject{{"low", 2}}));
    QCOMPARE(measurements.at(2).toObject()["value"],
             QJsonValue(int(station.reader(Vorn8).serialNumber())));
    QCOMPARE(measurements.at(2).toObject()["limit"], QJsonValue(QJsonValue::Null));
    // For people, the same facts as text; and back from JSON unchanged.
    QCOMPARE(identify["measured"].toString(), QStringLiteral("model_type 8, firmware 3, serial %1")
                                                  .arg(station.reader(Vorn8).serialNumber()));
    QCOMPARE(ReaderRecord::fromJson(record.toJson()), record);
}

void CheckoutTest::storedMeasurementOutcome_data()
{
    QTest::addColumn<QJsonValue>("stored");
    QTest::addColumn<Measurement::Outcome>("read");
    QTest::newRow("pass") << QJsonValue("pass") << Measurement::Outcome::Pass;
    QTest::newRow("fail") << QJsonValue("fail") << Measurement::Outcome::Fail;
    QTest::newRow("a word not known") << QJsonValue("passed") << Measurement::Outcome::Error;
    QTest::newRow("none") << QJsonValue() << Measurement::Outcome::Error;
}

void CheckoutTest::storedMeasurementOutcome()
{
    // A corrupt or foreign record must never read as a pass.
    QFETCH(QJsonValue, stored);
    QFETCH(Measurement::Outcome, read);
    const Measurement measurement = Measurement::fromJson(
        {{"name", "model_type"}, {"value", 8}, {"unit", ""}, {"limit", {}}, {"outcome", stored}});
    QCOMPARE(measurement.outcome, read);
}

void CheckoutTest::presenceOfAnAutomaticSocket_data()
{
    // What the port answers, probe after probe; C: the reader's checkout ends there.
    QTest::addColumn<QString>("answers");
    QTest::addColumn<QString>("checks"); // one letter per probe: y checks a reader
    QTest::newRow("nobody there") << "---"
                                  << "---";
    QTest::newRow("arrives, checked once, stays") << "-yCyyy"
                                                  << "-y---";
    QTest::newRow("taken away, the next is checked") << "yCy-y"
                                                     << "y--y";
    QTest::newRow("a silence while checked ends the wait") << "yC-y"
                                                           << "y-y";
}

void CheckoutTest::presenceOfAnAutomaticSocket()
{
    QFETCH(QString, answers);
    QFETCH(QString, checks);
    Station station;
    EmulatedReader &reader = station.reader(Vorn8);
    CheckoutRunner runner = station.runner();
    PresenceWatch watch;
    QString checked;
    for (const QChar answer : answers) {
        if (answer == u'C') {
            watch.checked();
            continue;
        }
        reader.setVanished(answer == u'-');
        const std::optional<Identification> who = runner.probe(Vorn8);
        QCOMPARE(bool(who), answer == u'y');
        if (who)
            QCOMPARE(who->serialNumber, reader.serialNumber());
        const PresenceWatch::Event event = watch.probed(bool(who));
        checked += event == PresenceWatch::Event::ReaderArrived ? u'y' : u'-';
    }
    reader.setVanished(false);
    QCOMPARE(checked, checks);
    QVERIFY(!runner.probe(QStringLiteral("/dev/ttyVORN-missing")));
}

// The records' answer as a test gives it, with the serial numbers it was asked about.
class AnsweringGate final : public RetestGate
{
public:
    explicit AnsweringGate(Answer answer) : m_answer(std::move(answer)) {}
    Answer ask(int serialNumber, int) override
    {
        asked.append(serialNumber);
        return m_answer;
    }
    QList<int> asked;

private:
    Answer m_answer;
};

void CheckoutTest::retestLimitAskedAfterTheIdentification_data()
{
    QTest::addColumn<std::optional<int>>("limit");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<ReaderOutcome>("outcome");
    QTest::newRow("refused") << std::optional(2) << true << "repair it first"
                             << ReaderOutcome::Refused;
    QTest::newRow("may go on") << std::optional(2) << true << "" << ReaderOutcome::Pass;
    QTest::newRow("records away") << std::optional(2) << false << "" << ReaderOutcome::Pass;
    QTest::newRow("no limit") << std::optional<int>() << true << "never asked"
                              << ReaderOutcome::Pass;
}

void CheckoutTest::retestLimitAskedAfterTheIdentification()
{
    QFETCH(std::optional<int>, limit);
    QFETCH(bool, checked);
    QFETCH(QString, refusal);
    QFETCH(ReaderOutcome, outcome);
    Station station;
    station.options.retestLimit = limit;
    EmulatedReader &reader = station.reader(Vorn8);
    CheckoutRunner runner = station.runner();
    QVERIFY(runner.probe(Vorn8));
    const QList<QByteArray> identification = reader.receivedRequests();
    reader.clearReceivedRequests();
    AnsweringGate gate({checked, refusal});
    runner.setRetestGate(&gate);

    const ReaderRecord record = runner.checkReader(0, Vorn8, station.stop);
    QCOMPARE(record.outcome, outcome);
    QCOMPARE(gate.asked, limit ? QList<int>{reader.serialNumber()} : QList<int>{});
    QCOMPARE(record.retestLimitChecked, limit ? std::optional(checked) : std::nullopt);
    if (outcome != ReaderOutcome::Refused)
        return;
    // Nothing reaches a refused reader after its identification; the rest is on record.
    QCOMPARE(reader.receivedRequests(), identification);
    QCOMPARE(record.refusal, refusal);
    QCOMPARE(stepsWith(record, StepOutcome::Pass), QStringList{"identify"});
    QCOMPARE(stepsWith(record, StepOutcome::Skip).size(), record.steps.size() - 1);
}

// A step the plan names and the reader's model cannot run ends the checkout not passed: the
// reader would otherwise pass with a step of its plan never performed.
void CheckoutTest::namedStepTheModelCannotRunIsNoPass()
{
    Station station;
    station.options.steps = QStringList{"identify", "status", "tarvik", "time"};
    const ReaderRecord record = station.check(Vorn4);
    QCOMPARE(record.outcome, ReaderOutcome::Error);
    QCOMPARE(record.step("tarvik")->outcome, StepOutcome::Error);
    QCOMPARE(record.step("tarvik")->message,
             QStringLiteral("the plan names this step, but a Vorn4 has no Tarvik protocol"));
    QCOMPARE(record.step("time")->outcome, StepOutcome::Pass);
}

void CheckoutTest::undeclaredMeasurementIsAnError()
{
    // The echo step as if its declaration had lost the measurement its body records.
    QList<StepDeclaration> catalogue = StepCatalogue::steps();
    for (StepDeclaration &step : catalogue)
        if (step.name == QLatin1String("echo"))
            step.measurements.clear();
    VirtualClock clock;
    LineFactory lines{clock};
    const std::unique_ptr<SerialLine> line = lines.create(Vorn8, clock);
    QVERIFY(line->open());
    CheckoutOptions options;
    options.steps = QStringList{"identify", "echo"};
    ScriptedOperator observer;
    CheckoutStop stop;
    ReaderCheckout checkout(*line, clock, options, observer, stop);
    checkout.setCatalogue(&catalogue);
    ReaderRecord record;
    record.port = Vorn8;
    checkout.run(record);
    QCOMPARE(record.outcome, ReaderOutcome::Error);
    QCOMPARE(record.step("echo")->outcome, StepOutcome::Error);
    QCOMPARE(record.step("echo")->message,
             QStringLiteral("measured bytes_echoed, which the step does not declare"));
}

// The last slot of the largest model has its limit and unit like every other: a reader that
// stores the wrong clock there fails.
void CheckoutTest::lastSlotsClockIsJudged()
{
    Station station;
    station.reader(Vorn8).setDefects({*ReaderDefect::fromName("clock-stuck-slot-8")});
    station.options.steps = QStringList{"identify", "program-clocks"};
    ClockSelection clocks;
    for (int slot = 0; slot < 8; ++slot)
        clocks.setCode(slot, 3);
    station.options.programClocks = clocks;
    const ReaderRecord record = station.check(Vorn8);
    const StepRecord *programmed = record.step("program-clocks");
    QCOMPARE(programmed->outcome, StepOutcome::Fail);
    QCOMPARE(programmed->failedMeasurements(), QStringList{"clock_slot_8"});
    QCOMPARE(programmed->measurement("clock_slot_8")->unit, QStringLiteral("MHz"));
}

void CheckoutTest::journalNoteIsSyncedBeforeItCounts_data()
{
    QTest::addColumn<bool>("syncFails");
    QTest::newRow("synced") << false;
    QTest::newRow("the disk refuses the sync") << true;
}

// The note that puts a reader back must be on disk before the reader is changed: the file is
// synced with its whole content, then renamed into place and its folder synced; a sync that
// fails is a problem the checkout hears of, never a note it counts on.
void CheckoutTest::journalNoteIsSyncedBeforeItCounts()
{
    QFETCH(bool, syncFails);
    QTemporaryDir folder;
    RecordingSync sync;
    sync.fails = syncFails;
    ReaderJournalFolder journal(folder.path(), &sync);
    FoundSettings found;
    found.port = Vorn8;
    found.serialNumber = 1234;
    found.slotCount = 8;
    found.selectedSlot = 2;
    const QString problem = journal.keep(found);
    const QString note =
        QString::fromUtf8(QJsonDocument(found.toJson()).toJson(QJsonDocument::Compact));
    if (syncFails) {
        QVERIFY(!problem.isEmpty());
        QVERIFY(journal.left(Vorn8).isEmpty());
        QCOMPARE(sync.synced.value(0), QStringLiteral("file ") + note);
        return;
    }
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(sync.synced, (QStringList{QStringLiteral("file ") + note,
                                       QStringLiteral("folder ") + folder.path()}));
    QCOMPARE(journal.left(Vorn8).size(), 1);
}

QTEST_GUILESS_MAIN(CheckoutTest)
#include "tst_checkout.moc"
