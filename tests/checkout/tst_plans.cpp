#include "checkout/checkoutobserver.h"
#include "checkout/checkoutrunner.h"
#include "checkout/checkoutstop.h"
#include "checkout/planreader.h"
#include "checkout/stepcatalogue.h"
#include "emulator/linefactory.h"
#include "serial/serialline.h"
#include "serial/virtualclock.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

namespace {

// The plans and records of the checkout as it was before its steps and models became data.
QJsonArray fixture()
{
    QFile file(QFINDTESTDATA("checkout/fixture/records.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).array();
}

QString fixturePath(const QString &plan)
{
    return QFINDTESTDATA(QStringLiteral("checkout/fixture/") + plan);
}

class Operator final : public CheckoutObserver
{
public:
    std::optional<bool> ask(int, const QString &, const QString &, const QString &) override
    {
        return true;
    }
};

ReaderRecord checkWithPlan(const CheckoutPlan &plan, const QString &port)
{
    VirtualClock clock;
    LineFactory lines{clock};
    Operator observer;
    CheckoutStop stop;
    CheckoutOptions options = plan.options;
    options.prompt = plan.prompt.value_or(false);
    CheckoutRunner runner([] { return std::make_unique<VirtualClock>(); },
                          [&lines](const QString &name, WaitClock &lineClock) {
                              return lines.create(name, lineClock);
                          },
                          options, observer);
    return runner.checkReader(0, port, stop);
}

// What a record of the same checkout may differ in from run to run: its id and times, and the
// prose of its messages.
QJsonObject withoutRunFacts(QJsonObject record)
{
    for (const char *key : {"id", "started", "duration_ms", "tool_version"})
        record.remove(QLatin1String(key));
    QJsonArray steps;
    for (const QJsonValue &step : record.value(QLatin1String("steps")).toArray()) {
        QJsonObject object = step.toObject();
        object.remove(QStringLiteral("duration_ms"));
        object.remove(QStringLiteral("message"));
        steps.append(object);
    }
    record.insert(QStringLiteral("steps"), steps);
    return record;
}

} // namespace

class PlansTest : public QObject
{
    Q_OBJECT

private slots:
    void todaysPlansKeepTheirIdentity_data();
    void todaysPlansKeepTheirIdentity();
    void todaysRecordsReadBackUnchanged();
    void aCheckoutRecordsTheNamesOfToday();
    void theCatalogueSpeaksInWords();
    void wrongPlanIsRefusedWhereItIsWrong_data();
    void wrongPlanIsRefusedWhereItIsWrong();
    void limitThatChecksNothingIsAWarning_data();
    void limitThatChecksNothingIsAWarning();
    void limitIsHashedAsItsNumber();
    void fourSlotRecordHoldsFourClocks();
};

void PlansTest::todaysPlansKeepTheirIdentity_data()
{
    QTest::addColumn<QString>("plan");
    QTest::addColumn<QString>("sha256");
    for (const QJsonValue &entry : fixture()) {
        const QString plan = entry[QLatin1String("plan")].toString();
        QTest::newRow(qPrintable(plan)) << plan << entry[QLatin1String("sha256")].toString();
    }
}

void PlansTest::todaysPlansKeepTheirIdentity()
{
    QFETCH(QString, plan);
    QFETCH(QString, sha256);
    QString error;
    const std::optional<CheckoutPlan> read = PlanReader::readFile(fixturePath(plan), &error);
    QVERIFY2(read, qPrintable(error));
    QCOMPARE(read->options.plan.sha256, sha256);
}

void PlansTest::todaysRecordsReadBackUnchanged()
{
    const QJsonArray entries = fixture();
    QVERIFY(!entries.isEmpty());
    for (const QJsonValue &entry : entries) {
        const QJsonObject stored = entry[QLatin1String("record")].toObject();
        const std::optional<ReaderRecord> record = ReaderRecord::fromJson(stored);
        QVERIFY(record);
        QCOMPARE(record->toJson(), stored);
    }
}

// Every stored name and JSON key as today: the same plan on the same emulated reader records
// the same steps, measurements, units, limits and outcomes under the same keys.
// What a certificate, the station and a plan's reader are shown is words, never a name out of
// the code: a rename once turned "slots whose clock follows" into "slotCount whose ...".
void PlansTest::theCatalogueSpeaksInWords()
{
    static const QRegularExpression code(QStringLiteral("[a-z][A-Z]|_"));
    for (const StepDeclaration &step : StepCatalogue::steps()) {
        QVERIFY2(!step.title.contains(code), qPrintable(step.title));
        for (const MeasurementDeclaration &measurement : step.measurements) {
            for (const QString &words :
                 {measurement.title, measurement.fixedLimit, measurement.limitText()})
                QVERIFY2(!words.contains(code), qPrintable(measurement.name + ": " + words));
        }
    }
}

void PlansTest::aCheckoutRecordsTheNamesOfToday()
{
    for (const QJsonValue &entry : fixture()) {
        const QString plan = entry[QLatin1String("plan")].toString();
        QJsonObject today = entry[QLatin1String("record")].toObject();
        QString error;
        const std::optional<CheckoutPlan> read = PlanReader::readFile(fixturePath(plan), &error);
        QVERIFY2(read, qPrintable(error));
        QJsonObject now =
            checkWithPlan(*read, today.value(QLatin1String("port")).toString()).toJson();
        // Today a four-slot plan's options listed eight clocks; the reader stores four.
        QJsonObject todaysOptions = today.value(QLatin1String("options")).toObject();
        if (todaysOptions.value(QLatin1String("model")) == QJsonValue(4) &&
            todaysOptions.value(QLatin1String("program_clocks")).isArray()) {
            todaysOptions.insert(
                QStringLiteral("program_clocks"),
                QJsonArray::fromVariantList(todaysOptions.value(QLatin1String("program_clocks"))
                                                .toVariant()
                                                .toList()
                                                .mid(0, 4)));
            today.insert(QStringLiteral("options"), todaysOptions);
        }
        QCOMPARE(withoutRunFacts(now), withoutRunFacts(today));
    }
}

void PlansTest::wrongPlanIsRefusedWhereItIsWrong_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("refusal"); // after "wrong.yaml:"
    const QByteArray head = "name: wrong\nrevision: 1\n";
    QTest::newRow("firmware above a byte")
        << head + "limits:\n  firmware: {low: 300}\n"
        << "4:19: low 300 of 'firmware' is outside what a reader reports (0 to 255): no reader "
           "could meet it";
    QTest::newRow("firmware below zero")
        << head + "limits:\n  firmware: {low: -5}\n"
        << "4:19: low -5 of 'firmware' is outside what a reader reports (0 to 255): every reader "
           "meets it";
    QTest::newRow("time setting beyond 428 s")
        << head + "model: 8\nlimits:\n  time_setting_s: {high: 500}\n"
        << "5:26: high 500 of 'time_setting_s' is outside what a Vorn8 reports (0 to 428.33 s): "
           "every reader meets it";
    QTest::newRow("occupancy beyond four slots")
        << head + "model: 4\nlimits:\n  occupancy: {equals: 16}\n"
        << "5:14: 16 of 'occupancy' is outside what a Vorn4 reports (0 to 15): no reader could "
           "meet it";
    QTest::newRow("model type of no model")
        << head + "limits:\n  model_type: {one_of: [4, 6]}\n"
        << "4:15: 6 of 'model_type' is outside what a reader reports (one of 4, 8): no reader "
           "could meet it";
    for (const char *revision : {"abc", "-2", "1.5", "0"})
        QTest::newRow(qPrintable(QStringLiteral("revision %1").arg(revision)))
            << "name: wrong\nrevision: " + QByteArray(revision) + "\n"
            << QStringLiteral("2:11: revision must be a positive whole number (1, 2, 3 ...), not "
                              "'%1'")
                   .arg(revision);
    QTest::newRow("tarvik on a Vorn4")
        << head + "model: 4\nsteps: [identify, status, tarvik]\n"
        << "4:27: step 'tarvik' cannot run on a Vorn4: it has no Tarvik protocol";
    QTest::newRow("tarvik without a model")
        << head + "steps: [identify, status, tarvik]\n"
        << "3:27: step 'tarvik' cannot run on a Vorn4: say which model the plan is for (model: "
           "...)";
    for (const char *model : {"four", "6"})
        QTest::newRow(qPrintable(QStringLiteral("model %1").arg(model)))
            << head + "model: " + QByteArray(model) + "\n"
            << QStringLiteral("3:8: model must be 4 (Vorn4) or 8 (Vorn8), not '%1'").arg(model);
    QTest::newRow("unknown measurement")
        << head + "steps: [identify, time]\nlimits:\n  firmwares: {low: 3}\n"
        << "5:3: unknown measurement 'firmwares' (known: model_type, firmware, serial, "
           "time_setting_s, time_setting_counts)";
    QTest::newRow("eight clocks on a Vorn4")
        << head + "model: 4\nprogram_clocks: [3.57, 3.57, 3.57, 3.57, 3.57, 3.57, 3.57, 3.57]\n"
        << "4:17: a Vorn4 stores 4 clocks, not 8";
    QTest::newRow("clocks without a model")
        << head + "program_clocks: [3.57, 3.57, 3.57, 3.57, 3.57, 3.57, 3.57, 3.57]\n"
        << "3:17: a Vorn4 stores 4 clocks, not 8: say which model the plan is for (model: ...)";
}

void PlansTest::wrongPlanIsRefusedWhereItIsWrong()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, refusal);
    QString error;
    QVERIFY(!PlanReader::read(text, QStringLiteral("wrong.yaml"), &error));
    QCOMPARE(error, QStringLiteral("wrong.yaml:") + refusal);
}

void PlansTest::limitThatChecksNothingIsAWarning_data()
{
    QTest::addColumn<QByteArray>("limits");
    QTest::addColumn<QStringList>("warnings");
    const QString nothing = QStringLiteral(
        "plan.yaml:4:%1: warning: the limit of '%2' holds every value a reader reports (%3): it "
        "checks nothing");
    QTest::newRow("firmware from 0") << QByteArray("firmware: {low: 0}")
                                     << QStringList{nothing.arg(13).arg("firmware", "0 to 255")};
    QTest::newRow("firmware 0 to 255") << QByteArray("firmware: {low: 0, high: 255}")
                                       << QStringList{nothing.arg(13).arg("firmware", "0 to 255")};
    QTest::newRow("every model type")
        << QByteArray("model_type: {one_of: [4, 8]}")
        << QStringList{nothing.arg(15).arg("model_type", "one of 4, 8")};
    QTest::newRow("firmware from 1 checks") << QByteArray("firmware: {low: 1}") << QStringList{};
    QTest::newRow("time to 428 s checks the counts beyond")
        << QByteArray("time_setting_s: {low: 0, high: 428}") << QStringList{};
}

void PlansTest::limitThatChecksNothingIsAWarning()
{
    QFETCH(QByteArray, limits);
    QFETCH(QStringList, warnings);
    QString error;
    const std::optional<CheckoutPlan> plan = PlanReader::read(
        "name: p\nrevision: 1\nlimits:\n  " + limits + "\n", QStringLiteral("plan.yaml"), &error);
    QVERIFY2(plan, qPrintable(error));
    QCOMPARE(plan->warnings, warnings);
}

// A limit is its number, however it is written: otherwise every plan with a limit would change
// its SHA-256 against the records.
void PlansTest::limitIsHashedAsItsNumber()
{
    QStringList identities;
    for (const char *low : {"2", "2.0", "2.00", "2e0"}) {
        QString error;
        const std::optional<CheckoutPlan> plan = PlanReader::read(
            "name: p\nrevision: 1\nlimits:\n  firmware: {low: " + QByteArray(low) + "}\n",
            QStringLiteral("p.yaml"), &error);
        QVERIFY2(plan, qPrintable(error));
        identities.append(plan->options.plan.sha256);
    }
    QCOMPARE(identities.count(identities.first()), identities.size());
}

void PlansTest::fourSlotRecordHoldsFourClocks()
{
    QString error;
    const std::optional<CheckoutPlan> plan =
        PlanReader::readFile(fixturePath(QStringLiteral("plans/vorn4-program.yaml")), &error);
    QVERIFY2(plan, qPrintable(error));
    const ReaderRecord record = checkWithPlan(*plan, QStringLiteral("emu-vorn4"));
    QCOMPARE(record.outcome, ReaderOutcome::Pass);
    QCOMPARE(record.options.value(QLatin1String("program_clocks")).toArray(),
             (QJsonArray{"3.57", "3.68", "6.00", "8.00"}));
    QStringList clocks;
    for (const Measurement &measurement : record.step("program-clocks")->measurements)
        clocks.append(measurement.name);
    QCOMPARE(clocks, (QStringList{"clock_slot_1", "clock_slot_2", "clock_slot_3", "clock_slot_4"}));
}

QTEST_GUILESS_MAIN(PlansTest)
#include "tst_plans.moc"
