#include "emulatorprocess.h"
#include "records/testdatabase.h"
#include "records/vornctlrun.h"
#include "store/recordsstore.h"
#include "store/yieldsummaries.h"
#include "yield/yieldreport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

#include <QSqlRecord>

#include <algorithm>
#include <csignal>
#include <memory>
#include <random>

Q_DECLARE_METATYPE(ReportGrouping)
Q_DECLARE_METATYPE(StationYield)

namespace {

QDateTime utc(QDate day, int hour, int minute)
{
    return QDateTime(day, QTime(hour, minute), QTimeZone::utc());
}

// A checkout record as a station keeps it: serial 0 is a reader that never identified; a
// failed or erring reader has failedStep ending so (an aborted one, the echo it was stopped in).
struct Made
{
    Made(int serial, const QDateTime &started, ReaderOutcome outcome, const QString &failedStep,
         const QString &station, const QString &lot, const QString &operatorName, qint64 durationMs,
         int firmware = 3)
        : serial(serial), started(started), outcome(outcome), failedStep(failedStep),
          station(station), lot(lot), operatorName(operatorName), durationMs(durationMs),
          firmware(firmware)
    {
    }

    int serial;
    QDateTime started;
    ReaderOutcome outcome;
    QString failedStep;
    QString station;
    QString lot;
    QString operatorName;
    qint64 durationMs;
    int firmware;

    ReaderRecord record() const
    {
        ReaderRecord record;
        record.id = QStringLiteral("made-%1-%2").arg(serial).arg(started.toMSecsSinceEpoch());
        record.tool = QStringLiteral("vornctl");
        record.station = station;
        record.port = QStringLiteral("ttyUSB0");
        record.lot = lot;
        record.operatorName = operatorName;
        record.started = started;
        record.durationMs = durationMs;
        record.outcome = outcome;
        record.restored = true;
        StepRecord identify;
        identify.name = QStringLiteral("identify");
        identify.outcome = serial == 0 ? StepOutcome::Error : StepOutcome::Pass;
        record.steps.append(identify);
        if (serial == 0)
            return record;
        record.serialNumber = serial;
        record.modelType = 8;
        record.firmware = firmware;
        if (!failedStep.isEmpty()) {
            StepRecord step;
            step.name = failedStep;
            step.outcome = outcome == ReaderOutcome::Fail ? StepOutcome::Fail : StepOutcome::Error;
            record.steps.append(step);
        }
        return record;
    }
};

// The figures a test compares, in one line: "8 checkouts (3 pass, 2 fail, 2 error, 1
// aborted), 3 readers, 1 first of 2, 2 final, 2 retested, attempts 1/0/0/1; pareto: echo 2,
// clocks 1; groups: KEY CHECKOUTS/READERS/FIRST-CHECKED/FIRST/FINAL, ..."
QString summaryOf(const ReportFigures &figures)
{
    QStringList pareto;
    for (const ParetoStep &step : figures.pareto)
        pareto.append(QStringLiteral("%1 %2").arg(step.step).arg(step.failures));
    QStringList groups;
    for (const ReportGroup &group : figures.groups)
        groups.append(QStringLiteral("%1 %2/%3/%4/%5/%6")
                          .arg(group.key.isEmpty() ? QStringLiteral("(none)") : group.key)
                          .arg(group.checkouts)
                          .arg(group.readers)
                          .arg(group.firstChecked)
                          .arg(group.firstPassed)
                          .arg(group.finalPassed));
    const ReportFigures::Attempts &attempts = figures.attempts;
    return QStringLiteral("%1 checkouts (%2 pass, %3 fail, %4 error, %5 aborted), %6 readers, %7 "
                          "first of %8, %9 final, ")
               .arg(figures.checkouts)
               .arg(figures.passed)
               .arg(figures.failed)
               .arg(figures.errors)
               .arg(figures.aborted)
               .arg(figures.readers)
               .arg(figures.firstPassed)
               .arg(figures.firstChecked)
               .arg(figures.finalPassed) +
           QStringLiteral("%1 retested, attempts %2/%3/%4/%5")
               .arg(figures.retestedReaders)
               .arg(attempts.passedOn[0])
               .arg(attempts.passedOn[1])
               .arg(attempts.passedOn[2])
               .arg(attempts.notPassed) +
           (figures.unidentified > 0 ? QStringLiteral(", %1 unidentified").arg(figures.unidentified)
                                     : QString()) +
           QStringLiteral("; pareto: ") + pareto.join(QLatin1String(", ")) +
           QStringLiteral("; groups: ") + groups.join(QLatin1String(", "));
}

// Every row of the summaries, "table|column|...", sorted.
QStringList summaryRows(RecordsStore &store)
{
    QStringList rows;
    for (const char *table :
         {"yield_hours", "yield_steps", "yield_durations", "yield_chains", "yield_firsts"}) {
        QSqlQuery query =
            store.database().prepare(QStringLiteral("SELECT * FROM ") + QLatin1String(table));
        if (!store.database().exec(query))
            return QStringList{store.errorText()};
        while (query.next()) {
            QStringList fields{QLatin1String(table)};
            for (int column = 0; column < query.record().count(); ++column)
                fields.append(query.value(column).toString());
            // A count taken back to nothing is no row at all.
            if (fields.last() != QLatin1String("0"))
                rows.append(fields.join(QLatin1Char('|')));
        }
    }
    rows.sort();
    return rows;
}

// The report of whole hours from `from` to `to`, read from the summaries, and of the same
// checkouts in a window a minute earlier, counted from the checkouts: empty when they agree
// for every grouping, else what differs.
QString summedAgainstCounted(RecordsStore &store, ReportQuery query)
{
    for (const ReportGrouping by :
         {ReportGrouping::None, ReportGrouping::Day, ReportGrouping::Hour, ReportGrouping::Station,
          ReportGrouping::Model, ReportGrouping::Firmware, ReportGrouping::Operator,
          ReportGrouping::Lot}) {
        query.by = by;
        ReportQuery shifted = query;
        shifted.from = query.from.addSecs(-60);
        shifted.to = query.to.addSecs(-60);
        YieldReport report(store);
        const std::optional<ReportFigures> summed = report.run(query);
        const std::optional<ReportFigures> counted = report.run(shifted);
        if (!summed || !counted)
            return report.errorText();
        QJsonObject a = summed->toJson();
        QJsonObject b = counted->toJson();
        for (const char *key : {"from", "to"}) {
            a.remove(QLatin1String(key));
            b.remove(QLatin1String(key));
        }
        if (a != b)
            return reportGroupingName(by) + QLatin1Char('\n') + QJsonDocument(a).toJson() +
                   QJsonDocument(b).toJson();
    }
    return {};
}

QJsonObject jsonOf(const QString &text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

} // namespace

// The yield report on a real database, an SQLite file or a PostgreSQL server (the same tests
// on both), from records whose figures are known by construction: real checkouts of emulated
// readers with defects through the built vornctl, and records made by hand for days long past.
class YieldReportTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // The engine on the records made by hand.
    void figures_data();
    void figures();
    void durationsAndThroughput();
    void summariesAgreeWithTheCheckouts_data();
    void summariesAgreeWithTheCheckouts();
    void keptSummariesEqualARebuild();
    void upgradedLineAgreesWithARebuildAndItsCheckouts_data();
    void upgradedLineAgreesWithARebuildAndItsCheckouts();
    void viewsEqualTheReport();
    void stationToday_data();
    void stationToday();
    void firstReleaseFileCounted();

    // vornctl records report on the real checkouts.
    void report_data();
    void report();
    void lastSevenDaysByDefault();
    void emptyWindow();
    void textAndCsv();
    void csvRowsAsWideAsTheHeader_data();
    void csvRowsAsWideAsTheHeader();
    void pdfWithoutDisplay();
    void pdfTablesGoOnOverPages();
    void badArgumentsTouchNothing_data();
    void badArgumentsTouchNothing();

private:
    void checkReaders(const QString &station, const QString &operatorName, const QString &lot,
                      const QList<QStringList> &emulators);
    void checkAndInterrupt(const QString &station, const QString &operatorName, const QString &lot,
                           const QStringList &emulator);
    QStringList report(const QStringList &options) const;
    QString handText(QString text) const;

    TestDatabases m_databases;
    QString m_url;                         // the real checkouts and the records made by hand
    std::unique_ptr<RecordsStore> m_store; // on m_url
    QDate m_day;                           // of the records made by hand: long before the checkouts
    QString m_since;                       // the window of the real checkouts, on whole hours
    QString m_until;
    QDateTime m_checked; // when the real checkouts started and ended
    QDateTime m_checkedEnd;
};

void YieldReportTest::initTestCase()
{
    QVERIFY(m_databases.folder().isValid());
    // The outbox of this process and of the vornctl it starts.
    qputenv("XDG_DATA_HOME", m_databases.folder().filePath(QStringLiteral("data")).toLocal8Bit());
    QString error;
    const RecordsLocation location = m_databases.fresh(&error);
    QVERIFY2(!location.isNone(), qPrintable(error));
    m_url = location.url();
    m_store = std::make_unique<RecordsStore>(location);
    QVERIFY2(m_store->open(), qPrintable(m_store->errorText()));

    // Line 1, operator ann, lot L1: a reader whose echo fails, one whose clocks fail, one that
    // never answers, and a four-slot reader with firmware 4 that passes.
    m_checked = QDateTime::currentDateTimeUtc();
    checkReaders(QStringLiteral("line-1"), QStringLiteral("ann"), QStringLiteral("L1"),
                 {{"--serial", "101", "--defect", "echo-bit-3"},
                  {"--serial", "102", "--defect", "clock-stuck-slot-3"},
                  {"--defect", "no-answer-after-0"},
                  {"--serial", "105", "--model", "4", "--version", "4"}});
    // Line 2, operator bob, lot L1: the first reader repaired, the second failing again, and
    // one that stops answering during the clocks.
    checkReaders(QStringLiteral("line-2"), QStringLiteral("bob"), QStringLiteral("L1"),
                 {{"--serial", "101"},
                  {"--serial", "102", "--defect", "clock-stuck-slot-3"},
                  {"--serial", "106", "--defect", "no-answer-after-25"}});
    // Line 2, lot L2: a checkout interrupted by the operator.
    checkAndInterrupt(QStringLiteral("line-2"), QStringLiteral("bob"), QStringLiteral("L2"),
                      {"--serial", "104"});
    m_checkedEnd = QDateTime::currentDateTimeUtc();
    const auto hour = [](const QDateTime &time) {
        return QDateTime(time.date(), QTime(time.time().hour(), 0), QTimeZone::utc());
    };
    m_since = hour(m_checked).toUTC().toString(Qt::ISODate);
    m_until = hour(m_checkedEnd).addSecs(3600).toUTC().toString(Qt::ISODate);

    // The same readers outside every window the tests ask for: weeks before, and days after.
    const QDate today = m_checked.date();
    for (const Made &made : {Made{101,
                                  utc(today.addDays(-20), 9, 0),
                                  ReaderOutcome::Pass,
                                  {},
                                  "line-1",
                                  "L0",
                                  "ann",
                                  2100},
                             Made{102,
                                  utc(today.addDays(3), 9, 0),
                                  ReaderOutcome::Pass,
                                  {},
                                  "line-1",
                                  "L3",
                                  "ann",
                                  2100}})
        QCOMPARE(m_store->store(made.record()), RecordsStore::Stored::Added);

    // By hand, on two days long before (day D and D+1), stored out of time order:
    //   201  D 23:50 fails its echo at h1, D+1 00:10 passes at h1
    //   202  D 10:05 passes at h1, D 10:20 fails its clocks at h1, D 11:05 passes at h2
    //   203  D+1 09:00 has an error in select-slot at h2 (firmware 10)
    //   never identified at h2, D+1 09:30
    //   204  aborted at h1 in its echo, D 12:00
    // and 201 and 203 again outside the two days.
    m_day = today.addDays(-40);
    const QDate next = m_day.addDays(1);
    const QList<Made> made{
        {202, utc(m_day, 11, 5), ReaderOutcome::Pass, {}, "h2", "A", "bob", 2400},
        {201, utc(m_day, 23, 50), ReaderOutcome::Fail, "echo", "h1", "A", "ann", 2000},
        {0, utc(next, 9, 30), ReaderOutcome::Error, "identify", "h2", "B", "bob", 150},
        {202, utc(m_day, 10, 5), ReaderOutcome::Pass, {}, "h1", "A", "ann", 2200},
        {203, utc(next, 9, 0), ReaderOutcome::Error, "select-slot", "h2", "B", "bob", 2500, 10},
        {201, utc(next, 0, 10), ReaderOutcome::Pass, {}, "h1", "A", "ann", 2100},
        {204, utc(m_day, 12, 0), ReaderOutcome::Aborted, "echo", "h1", "A", "ann", 500},
        {202, utc(m_day, 10, 20), ReaderOutcome::Fail, "clocks", "h1", "A", "ann", 2300},
        {201, utc(m_day.addDays(-5), 8, 0), ReaderOutcome::Pass, {}, "h1", "A", "ann", 2100},
        {203, utc(m_day.addDays(5), 8, 0), ReaderOutcome::Pass, {}, "h2", "B", "bob", 2100},
    };
    for (const Made &each : made)
        QCOMPARE(m_store->store(each.record()), RecordsStore::Stored::Added);
}

// Runs vornctl checkout on vorn-emulator readers started with the given options, all at once.
void YieldReportTest::checkReaders(const QString &station, const QString &operatorName,
                                   const QString &lot, const QList<QStringList> &emulators)
{
    std::vector<std::unique_ptr<EmulatorProcess>> readers;
    QStringList arguments{QStringLiteral("--records"), m_url};
    for (const QStringList &options : emulators) {
        readers.push_back(std::make_unique<EmulatorProcess>());
        QVERIFY(readers.back()->start(QStringLiteral(VORN_EMULATOR_PATH), options));
        arguments << QStringLiteral("--port") << readers.back()->terminalPath();
    }
    arguments << QStringLiteral("checkout") << QStringLiteral("--no-prompt")
              << QStringLiteral("--station") << station << QStringLiteral("--operator")
              << operatorName << QStringLiteral("--lot") << lot;
    const VornctlRun run = VornctlRun::of(arguments);
    QVERIFY2(run.exitCode == 0 || run.exitCode == 1, qPrintable(run.err));
    QVERIFY2(!run.err.contains(QLatin1String("outbox")), qPrintable(run.err));
}

// Runs vornctl checkout on one reader and interrupts it (Ctrl+C) during its echo of every byte.
void YieldReportTest::checkAndInterrupt(const QString &station, const QString &operatorName,
                                        const QString &lot, const QStringList &emulator)
{
    EmulatorProcess reader;
    QVERIFY(reader.start(QStringLiteral(VORN_EMULATOR_PATH), emulator));
    QProcess process;
    process.start(QStringLiteral(VORNCTL_PATH),
                  {"--records", m_url, "--trace", "--port", reader.terminalPath(), "checkout",
                   "--no-prompt", "--echo", "all", "--station", station, "--operator", operatorName,
                   "--lot", lot});
    QByteArray trace;
    QTRY_VERIFY_WITH_TIMEOUT((trace += process.readAllStandardError()).contains("> 65 10"), 20'000);
    ::kill(pid_t(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(20'000));
    QCOMPARE(process.exitCode(), 130);
}

QString YieldReportTest::handText(QString text) const
{
    return text.replace(QLatin1String("{D}"), m_day.toString(Qt::ISODate))
        .replace(QLatin1String("{D1}"), m_day.addDays(1).toString(Qt::ISODate));
}

void YieldReportTest::figures_data()
{
    QTest::addColumn<QString>("since"); // "{D}T10:15"; the window ends at the end of D+1
    QTest::addColumn<QString>("station");
    QTest::addColumn<QString>("lot");
    QTest::addColumn<QString>("operatorName");
    QTest::addColumn<ReportGrouping>("by");
    QTest::addColumn<QString>("expected");

    // 201 was first checked days before D, 202 first passed, 203 has not passed by the end.
    const QString all = QStringLiteral(
        "8 checkouts (3 pass, 2 fail, 2 error, 1 aborted), 3 readers, 1 first of 2, 2 final, 2 "
        "retested, attempts 1/0/0/1, 1 unidentified; pareto: echo 2, clocks 1, identify 1, "
        "select-slot 1; groups: ");
    QTest::newRow("both days") << "{D}T00:00"
                               << ""
                               << ""
                               << "" << ReportGrouping::None << all;
    QTest::newRow("by day") << "{D}T00:00"
                            << ""
                            << ""
                            << "" << ReportGrouping::Day << all + "{D} 5/2/1/1/1, {D1} 3/2/1/0/1";
    QTest::newRow("by hour") << "{D}T00:00"
                             << ""
                             << ""
                             << "" << ReportGrouping::Hour
                             << all + "{D}T10:00Z 2/1/1/1/0, {D}T11:00Z 1/1/0/0/1, "
                                      "{D}T12:00Z 1/0/0/0/0, {D}T23:00Z 1/1/0/0/0, "
                                      "{D1}T00:00Z 1/1/0/0/1, {D1}T09:00Z 2/1/1/0/0";
    QTest::newRow("by station") << "{D}T00:00"
                                << ""
                                << ""
                                << "" << ReportGrouping::Station
                                << all + "h1 5/2/1/1/1, h2 3/2/1/0/1";
    QTest::newRow("by model") << "{D}T00:00"
                              << ""
                              << ""
                              << "" << ReportGrouping::Model
                              << all + "(none) 1/0/0/0/0, Vorn8 7/3/2/1/2";
    QTest::newRow("by firmware, as numbers")
        << "{D}T00:00"
        << ""
        << ""
        << "" << ReportGrouping::Firmware << all + "(none) 1/0/0/0/0, 3 6/2/1/1/2, 10 1/1/1/0/0";
    QTest::newRow("by lot") << "{D}T00:00"
                            << ""
                            << ""
                            << "" << ReportGrouping::Lot << all + "A 6/2/1/1/2, B 2/1/1/0/0";
    QTest::newRow("by operator") << "{D}T00:00"
                                 << ""
                                 << ""
                                 << "" << ReportGrouping::Operator
                                 << all + "ann 5/2/1/1/1, bob 3/2/1/0/1";
    // At one station a reader's checkouts elsewhere do not count: 202 last failed at h1.
    const QString h1 = QStringLiteral("5 checkouts (2 pass, 2 fail, 0 error, 1 aborted), 2 "
                                      "readers, 1 first of 1, 1 final, 2 retested, attempts "
                                      "1/0/0/0; pareto: echo 2, clocks 1; groups: ");
    QTest::newRow("station") << "{D}T00:00"
                             << "h1"
                             << ""
                             << "" << ReportGrouping::None << h1;
    QTest::newRow("station by day")
        << "{D}T00:00"
        << "h1"
        << ""
        << "" << ReportGrouping::Day << h1 + "{D} 4/2/1/1/0, {D1} 1/1/0/0/1";
    QTest::newRow("station by station") << "{D}T00:00"
                                        << "h1"
                                        << ""
                                        << "" << ReportGrouping::Station << h1 + "h1 5/2/1/1/1";
    // Two filters at once, and a filter with groups of another fact.
    QTest::newRow("station and lot") << "{D}T00:00"
                                     << "h1"
                                     << "A"
                                     << "" << ReportGrouping::None << h1;
    QTest::newRow("lot by station")
        << "{D}T00:00"
        << ""
        << "A"
        << "" << ReportGrouping::Station
        << "6 checkouts (3 pass, 2 fail, 0 error, 1 aborted), 2 readers, 1 first of 1, 2 final, "
           "2 retested, attempts 1/0/0/0; pareto: echo 2, clocks 1; groups: h1 5/2/1/1/1, "
           "h2 1/1/0/0/1";
    QTest::newRow("operator by day")
        << "{D}T00:00"
        << ""
        << ""
        << "bob" << ReportGrouping::Day
        << "3 checkouts (1 pass, 0 fail, 2 error, 0 aborted), 2 readers, 0 first of 1, 1 final, "
           "0 retested, attempts 0/0/0/1, 1 unidentified; pareto: identify 1, select-slot 1; "
           "groups: {D} 1/1/0/0/1, "
           "{D1} 2/1/1/0/0";
    // A window that begins after a reader's first checkouts: 202 failed at 10:20 and passed at
    // 11:05, a retest and no first pass.
    QTest::newRow("from a whole hour")
        << "{D}T11:00"
        << ""
        << ""
        << "" << ReportGrouping::None
        << "6 checkouts (2 pass, 1 fail, 2 error, 1 aborted), 3 readers, 0 first of 1, 2 final, "
           "2 retested, attempts 0/0/0/1, 1 unidentified; pareto: echo 2, identify 1, select-slot "
           "1; "
           "groups: ";
    QTest::newRow("from a minute")
        << "{D}T10:15"
        << ""
        << ""
        << "" << ReportGrouping::None
        << "7 checkouts (2 pass, 2 fail, 2 error, 1 aborted), 3 readers, 0 first of 1, 2 final, "
           "2 retested, attempts 0/0/0/1, 1 unidentified; pareto: echo 2, clocks 1, identify 1, "
           "select-slot 1; groups: ";
    QTest::newRow("from a minute, by day")
        << "{D}T10:15"
        << ""
        << ""
        << "" << ReportGrouping::Day
        << "7 checkouts (2 pass, 2 fail, 2 error, 1 aborted), 3 readers, 0 first of 1, 2 final, "
           "2 retested, attempts 0/0/0/1, 1 unidentified; pareto: echo 2, clocks 1, identify 1, "
           "select-slot 1; groups: {D} 4/2/0/0/1, {D1} 3/2/1/0/1";
}

void YieldReportTest::figures()
{
    QFETCH(QString, since);
    QFETCH(QString, station);
    QFETCH(QString, lot);
    QFETCH(QString, operatorName);
    QFETCH(ReportGrouping, by);
    QFETCH(QString, expected);
    ReportQuery query;
    query.from = QDateTime::fromString(handText(since) + QLatin1Char('Z'), Qt::ISODate);
    query.to = utc(m_day.addDays(2), 0, 0);
    query.station = station;
    query.lot = lot;
    query.operatorName = operatorName;
    query.by = by;
    YieldReport report(*m_store);
    const std::optional<ReportFigures> figures = report.run(query);
    QVERIFY2(figures, qPrintable(report.errorText()));
    QCOMPARE(summaryOf(*figures), handText(expected));
}

void YieldReportTest::durationsAndThroughput()
{
    ReportQuery query;
    query.from = utc(m_day, 0, 0);
    query.to = utc(m_day.addDays(2), 0, 0);
    const std::optional<ReportFigures> figures = YieldReport(*m_store).run(query);
    QVERIFY(figures);
    // 2000, 2100, 2200, 2300, 2400, 2500 ms: the aborted and the unidentified left out.
    QCOMPARE(figures->medianDurationMs, 2200);
    QCOMPARE(figures->p95DurationMs, 2500);
    // Hours 10, 11, 12 and 23 of D, 00 and 09 of D+1.
    QCOMPARE(figures->hoursWithCheckouts, 6);
    QCOMPARE(figures->throughputPerHour(), 8.0 / 6.0);
    QCOMPARE(figures->pareto, (QList<ParetoStep>{{"echo", 2, 0.4, 0.4},
                                                 {"clocks", 1, 0.2, 0.6},
                                                 {"identify", 1, 0.2, 0.8},
                                                 {"select-slot", 1, 0.2, 1.0}}));

    query.from = utc(m_day, 10, 15); // from the checkouts, the first passing one left out
    const std::optional<ReportFigures> later = YieldReport(*m_store).run(query);
    QVERIFY(later);
    QCOMPARE(later->medianDurationMs, 2300);
    QCOMPARE(later->p95DurationMs, 2500);
    QCOMPARE(later->hoursWithCheckouts, 6);
}

void YieldReportTest::summariesAgreeWithTheCheckouts_data()
{
    QTest::addColumn<QStringList>("filters"); // station, model, lot, operator
    QTest::newRow("none") << QStringList{"", "", "", ""};
    QTest::newRow("station") << QStringList{"h1", "", "", ""};
    QTest::newRow("other station") << QStringList{"h2", "", "", ""};
    QTest::newRow("model") << QStringList{"", "Vorn8", "", ""};
    QTest::newRow("lot") << QStringList{"", "", "A", ""};
    QTest::newRow("operator") << QStringList{"", "", "", "bob"};
    QTest::newRow("station and lot") << QStringList{"h1", "", "A", ""};
    QTest::newRow("all four") << QStringList{"h2", "Vorn8", "B", "bob"};
}

void YieldReportTest::summariesAgreeWithTheCheckouts()
{
    // The window of the two days read from the summaries (whole hours), and the same records in
    // a window a minute earlier, read from the checkouts: the same figures, for every grouping.
    QFETCH(QStringList, filters);
    ReportQuery query;
    query.from = utc(m_day, 0, 0);
    query.to = utc(m_day.addDays(2), 0, 0);
    query.station = filters[0];
    query.model = filters[1];
    query.lot = filters[2];
    query.operatorName = filters[3];
    const QString differences = summedAgainstCounted(*m_store, query);
    QVERIFY2(differences.isEmpty(), qPrintable(differences));
}

void YieldReportTest::keptSummariesEqualARebuild()
{
    // Many checkouts of a few readers at four stations, stored in a shuffled order (so that
    // many arrive after later ones of their reader, as from an outbox), one of them twice: the
    // summaries kept record by record are those made afresh from every checkout.
    QString error;
    const RecordsLocation location = m_databases.fresh(&error);
    QVERIFY2(!location.isNone(), qPrintable(error));
    RecordsStore store(location);
    QVERIFY2(store.open(), qPrintable(store.errorText()));
    QRandomGenerator random(1207);
    QList<ReaderRecord> records;
    const QList<ReaderOutcome> outcomes{ReaderOutcome::Pass,    ReaderOutcome::Pass,
                                        ReaderOutcome::Fail,    ReaderOutcome::Error,
                                        ReaderOutcome::Aborted, ReaderOutcome::Refused};
    const QStringList steps{QStringLiteral("echo"), QStringLiteral("clocks"),
                            QStringLiteral("select-slot")};
    for (int n = 0; n < 400; ++n) {
        const ReaderOutcome outcome = outcomes[random.bounded(int(outcomes.size()))];
        const Made made{random.bounded(5) == 0 ? 0 : 300 + random.bounded(25),
                        utc(m_day, 0, 0).addSecs(random.bounded(3 * 24 * 3600)),
                        outcome,
                        outcome == ReaderOutcome::Pass ? QString()
                                                       : steps[random.bounded(int(steps.size()))],
                        QStringLiteral("s%1").arg(random.bounded(4)),
                        QStringLiteral("lot-%1").arg(random.bounded(2)),
                        QStringLiteral("op-%1").arg(random.bounded(3)),
                        2000 + random.bounded(400),
                        3 + random.bounded(2)};
        records.append(made.record());
    }
    std::shuffle(records.begin(), records.end(), std::mt19937(1207));
    // A reader checked forty times at one station between two checkouts at another, and once
    // more there, stored late: its chain at that station reaches past the forty.
    const QDateTime start = utc(m_day, 6, 0);
    records.append(
        Made{399, start, ReaderOutcome::Fail, "echo", "s0", "lot-0", "op-0", 2000}.record());
    for (int n = 1; n <= 40; ++n)
        records.append(
            Made{399, start.addSecs(60 * n), ReaderOutcome::Pass, {}, "s1", "lot-0", "op-0", 2000}
                .record());
    records.append(
        Made{399, start.addSecs(60 * 41), ReaderOutcome::Pass, {}, "s0", "lot-0", "op-0", 2000}
            .record());
    records.append(
        Made{399, start.addSecs(30), ReaderOutcome::Pass, {}, "s0", "lot-0", "op-0", 2000}
            .record());
    for (const ReaderRecord &record : records)
        QVERIFY(store.store(record) != RecordsStore::Stored::Failed);
    QCOMPARE(store.store(records.first()), RecordsStore::Stored::AlreadyThere);

    const QStringList kept = summaryRows(store);
    QVERIFY(kept.size() > 100);
    QVERIFY(YieldSummaries::rebuild(store.database()));
    QCOMPARE(summaryRows(store), kept);
}

void YieldReportTest::upgradedLineAgreesWithARebuildAndItsCheckouts_data()
{
    QTest::addColumn<QStringList>("filters"); // station, model, lot, operator
    QTest::newRow("the line") << QStringList{"", "", "", ""};
    QTest::newRow("station") << QStringList{"line-3-st2", "", "", ""};
    QTest::newRow("model and lot") << QStringList{"", "Vorn4", "lot-127", ""};
    QTest::newRow("operator") << QStringList{"", "", "", "op-1"};
}

void YieldReportTest::upgradedLineAgreesWithARebuildAndItsCheckouts()
{
    // Three days of a line of four stations as the previous schema kept them (some stored
    // late, two pairs of one moment, readers retested at other stations), brought up to date:
    // the summaries the stations kept are those a rebuild makes from every checkout, and they
    // give the figures counted from the checkouts themselves. On a server, the same checkouts
    // stored there are rebuilt by the server's own statements.
    QFETCH(QStringList, filters);
    const QString path = m_databases.folder().filePath(QStringLiteral("previous-schema.sqlite"));
    QFile::remove(path);
    QVERIFY(QFile::copy(QStringLiteral(VORN_TEST_RECORDS "/v5-records.sqlite"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    RecordsStore upgraded(*RecordsLocation::parse(QStringLiteral("sqlite:") + path, nullptr));
    QVERIFY2(upgraded.open(), qPrintable(upgraded.errorText()));
    const QStringList kept = summaryRows(upgraded);
    QVERIFY(kept.size() > 2000);
    std::unique_ptr<RecordsStore> server;
    if (m_databases.onPostgreSql()) {
        QString error;
        server = std::make_unique<RecordsStore>(m_databases.fresh(&error));
        QVERIFY2(server->open(), qPrintable(server->errorText()));
        const std::optional<QList<RecordSummary>> checkouts = upgraded.list({});
        QVERIFY(checkouts);
        for (const RecordSummary &summary : *checkouts) {
            std::optional<ReaderRecord> record;
            QVERIFY(upgraded.find(summary.id, record) && record);
            QCOMPARE(server->store(*record), RecordsStore::Stored::Added);
        }
    }
    RecordsStore &store = server ? *server : upgraded;
    QVERIFY2(YieldSummaries::rebuild(store.database()), qPrintable(store.errorText()));
    QCOMPARE(summaryRows(store), kept);

    ReportQuery query;
    query.from = utc(QDate(2026, 11, 23), 0, 0);
    query.to = query.from.addDays(4);
    query.station = filters[0];
    query.model = filters[1];
    query.lot = filters[2];
    query.operatorName = filters[3];
    const QString differences = summedAgainstCounted(store, query);
    QVERIFY2(differences.isEmpty(), qPrintable(differences));
    const std::optional<ReportFigures> figures = YieldReport(store).run(query);
    QVERIFY(figures && figures->readers > 5 && figures->retestedReaders > 0);
}

void YieldReportTest::viewsEqualTheReport()
{
    // Every row of the views is the report of its day at its station.
    QList<QVariantList> rows;
    QSqlQuery days = m_store->database().prepare(
        QStringLiteral("SELECT day, station, checkouts, readers, first_pass_yield, final_yield "
                       "FROM vorn_yield_by_day"));
    QVERIFY(m_store->database().exec(days));
    while (days.next())
        rows.append({days.value(0), days.value(1), days.value(2), days.value(3), days.value(4),
                     days.value(5)});
    for (const QVariantList &row : std::as_const(rows)) {
        ReportQuery query;
        query.from = QDateTime(QDate::fromString(row[0].toString(), Qt::ISODate), QTime(0, 0),
                               QTimeZone::utc());
        query.to = query.from.addDays(1);
        query.station = row[1].toString();
        const std::optional<ReportFigures> figures = YieldReport(*m_store).run(query);
        QVERIFY(figures);
        const QString where = row[0].toString() + QLatin1Char(' ') + query.station;
        QVERIFY2(row[2].toLongLong() == figures->checkouts, qPrintable(where));
        QVERIFY2(row[3].toLongLong() == figures->readers, qPrintable(where));
        for (const auto &[column, yield] :
             {std::pair{4, figures->firstPassYield()}, std::pair{5, figures->finalYield()}}) {
            QVERIFY2(row[column].isNull() == !yield, qPrintable(where));
            if (yield)
                QVERIFY2(qFuzzyCompare(row[column].toDouble(), *yield), qPrintable(where));
        }

        QSqlQuery steps = m_store->database().prepare(
            QStringLiteral("SELECT step, failures FROM vorn_step_failures WHERE day = ? AND "
                           "station = ? ORDER BY failures DESC, step"));
        steps.addBindValue(row[0]);
        steps.addBindValue(row[1]);
        QVERIFY(m_store->database().exec(steps));
        QStringList viewed;
        while (steps.next())
            viewed.append(steps.value(0).toString() + QLatin1Char(' ') + steps.value(1).toString());
        QStringList reported;
        for (const ParetoStep &step : figures->pareto)
            reported.append(step.step + QLatin1Char(' ') + QString::number(step.failures));
        QCOMPARE(viewed, reported);
    }
    // A row for every day and station that had checkouts.
    QSqlQuery pairs = m_store->database().prepare(QStringLiteral(
        "SELECT count(*) FROM (SELECT DISTINCT substr(started, 1, 10), station FROM checkouts) "
        "AS p"));
    QVERIFY(m_store->database().exec(pairs) && pairs.next());
    QCOMPARE(rows.size(), pairs.value(0).toInt());
    QVERIFY(rows.size() >= 10);
}

void YieldReportTest::stationToday_data()
{
    QTest::addColumn<int>("offsetSeconds"); // the station's clock, east of UTC
    QTest::addColumn<QString>("station");
    QTest::addColumn<StationYield>("expected");
    // h1's day D in UTC: 201 (first checked days before) failed, 202 passed first; echo failed
    // twice (201, and 204 before it was aborted).
    QTest::newRow("UTC") << 0 << "h1" << StationYield{2, 1.0, 0.0, "echo", 2};
    // In India (UTC+05:30) h1's day D ends at 18:30 UTC, before 201 came: 202 alone, and of
    // the steps that failed once each the first by name.
    QTest::newRow("half an hour off UTC")
        << 19800 << "h1" << StationYield{1, 1.0, 0.0, "clocks", 1};
    QTest::newRow("a station without checkouts")
        << 0 << "h9" << StationYield{0, std::nullopt, std::nullopt, "", 0};
}

void YieldReportTest::stationToday()
{
    QFETCH(int, offsetSeconds);
    QFETCH(QString, station);
    QFETCH(StationYield, expected);
    const QTimeZone zone(offsetSeconds);
    const QDateTime start(m_day, QTime(0, 0), zone);
    const std::optional<StationYield> yield =
        YieldReport::stationToday(*m_store, station, start, start.addDays(1));
    QVERIFY(yield);
    QCOMPARE(*yield, expected);
}

void YieldReportTest::firstReleaseFileCounted()
{
    if (m_databases.onPostgreSql())
        QSKIP("the fixture is a records file");
    // Seven checkouts of the first release, counted when the file is opened.
    const QString path = m_databases.folder().filePath(QStringLiteral("first-release.sqlite"));
    QVERIFY(QFile::copy(QStringLiteral(VORN_TEST_RECORDS "/v1-records.sqlite"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    RecordsStore store(*RecordsLocation::parse(QStringLiteral("sqlite:") + path, nullptr));
    QVERIFY2(store.open(), qPrintable(store.errorText()));
    ReportQuery query;
    query.from = utc(QDate(2026, 12, 7), 0, 0);
    query.to = query.from.addDays(1);
    query.by = ReportGrouping::Station;
    const std::optional<ReportFigures> figures = YieldReport(store).run(query);
    QVERIFY(figures);
    // Station 1: 1234 and 4321 passed. Station 2: 4321 failed its echo and then passed; 4322,
    // 4323 and 4324 failed or erred.
    QCOMPARE(summaryOf(*figures),
             QStringLiteral("7 checkouts (3 pass, 3 fail, 1 error, 0 aborted), 5 readers, 2 "
                            "first of 5, 2 final, 1 retested, attempts 2/0/0/3; pareto: clocks 1, "
                            "echo 1, identify 1, select-slot 1; groups: line1-st1 2/2/2/2/2, "
                            "line1-st2 5/4/3/0/1"));
}

QStringList YieldReportTest::report(const QStringList &options) const
{
    return QStringList{QStringLiteral("--records"), m_url, QStringLiteral("records"),
                       QStringLiteral("report")} +
           options;
}

void YieldReportTest::report_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("expected");

    // 101 was first checked weeks before, 102 and 106 have not passed by the window's end.
    const QString all = QStringLiteral(
        "8 checkouts (2 pass, 3 fail, 2 error, 1 aborted), 4 readers, 1 first of 3, 2 final, 2 "
        "retested, attempts 1/0/0/2; pareto: clocks 3, echo 1, identify 1; groups: ");
    QTest::newRow("all") << QStringList{} << all;
    QTest::newRow("station") << QStringList{"--station", "line-1"}
                             << "4 checkouts (1 pass, 2 fail, 1 error, 0 aborted), 3 readers, 1 "
                                "first of 2, 1 final, 1 retested, attempts 1/0/0/1; pareto: "
                                "clocks 1, echo 1, identify 1; groups: ";
    const QString line2 = QStringLiteral(
        "4 checkouts (1 pass, 1 fail, 1 error, 1 aborted), 3 readers, 0 first of 1, 1 final, 0 "
        "retested, attempts 0/0/0/1; pareto: clocks 2; groups: ");
    QTest::newRow("other station") << QStringList{"--station", "line-2"} << line2;
    QTest::newRow("operator") << QStringList{"--operator", "bob"} << line2;
    QTest::newRow("lot") << QStringList{"--lot", "L1"}
                         << "7 checkouts (2 pass, 3 fail, 2 error, 0 aborted), 4 readers, 1 first "
                            "of 3, 2 final, 2 retested, attempts 1/0/0/2; pareto: clocks 3, echo "
                            "1, identify 1; groups: ";
    QTest::newRow("lot of the aborted only")
        << QStringList{"--lot", "L2"}
        << "1 checkouts (0 pass, 0 fail, 0 error, 1 aborted), 0 readers, 0 first of 0, 0 final, "
           "0 retested, attempts 0/0/0/0; pareto: ; groups: ";
    QTest::newRow("model 4") << QStringList{"--model", "4"}
                             << "1 checkouts (1 pass, 0 fail, 0 error, 0 aborted), 1 readers, 1 "
                                "first of 1, 1 final, 0 retested, attempts 1/0/0/0; pareto: ; "
                                "groups: ";
    QTest::newRow("model Vorn8")
        << QStringList{"--model", "Vorn8"}
        << "6 checkouts (1 pass, 3 fail, 1 error, 1 aborted), 3 readers, 0 first of 2, 1 final, "
           "2 retested, attempts 0/0/0/2; pareto: clocks 3, echo 1; groups: ";
    QTest::newRow("station and lot")
        << QStringList{"--station", "line-2", "--lot", "L1"}
        << "3 checkouts (1 pass, 1 fail, 1 error, 0 aborted), 3 readers, 0 first of 1, 1 final, "
           "0 retested, attempts 0/0/0/1; pareto: clocks 2; groups: ";
    QTest::newRow("by station") << QStringList{"--by", "station"}
                                << all + "line-1 4/3/2/1/1, line-2 4/3/1/0/1";
    QTest::newRow("by operator") << QStringList{"--by", "operator"}
                                 << all + "ann 4/3/2/1/1, bob 4/3/1/0/1";
    QTest::newRow("by lot") << QStringList{"--by", "lot"} << all + "L1 7/4/3/1/2, L2 1/0/0/0/0";
    QTest::newRow("by model") << QStringList{"--by", "model"}
                              << all + "(none) 1/0/0/0/0, Vorn4 1/1/1/1/1, Vorn8 6/3/2/0/1";
    QTest::newRow("by firmware") << QStringList{"--by", "firmware"}
                                 << all + "(none) 1/0/0/0/0, 3 6/3/2/0/1, 4 1/1/1/1/1";
    QTest::newRow("by day") << QStringList{"--by", "day"} << all + "DAY 8/4/3/1/2";
    QTest::newRow("by hour") << QStringList{"--by", "hour"} << all + "HOUR 8/4/3/1/2";
    QTest::newRow("station, by lot") << QStringList{"--station", "line-2", "--by", "lot"}
                                     << line2 + "L1 3/3/1/0/1, L2 1/0/0/0/0";
    QTest::newRow("lot, by station")
        << QStringList{"--lot", "L1", "--by", "station"}
        << "7 checkouts (2 pass, 3 fail, 2 error, 0 aborted), 4 readers, 1 first of 3, 2 final, "
           "2 retested, attempts 1/0/0/2; pareto: clocks 3, echo 1, identify 1; groups: "
           "line-1 4/3/2/1/1, "
           "line-2 3/3/1/0/1";
    QTest::newRow("model, by station")
        << QStringList{"--model", "8", "--by", "station"}
        << "6 checkouts (1 pass, 3 fail, 1 error, 1 aborted), 3 readers, 0 first of 2, 1 final, "
           "2 retested, attempts 0/0/0/2; pareto: clocks 3, echo 1; groups: line-1 2/2/1/0/0, "
           "line-2 4/3/1/0/1";
}

void YieldReportTest::report()
{
    QFETCH(QStringList, options);
    QFETCH(QString, expected);
    if (expected.contains(QLatin1String("DAY")) && m_checked.date() != m_checkedEnd.date())
        QSKIP("the checkouts ran over midnight UTC");
    if (expected.contains(QLatin1String("HOUR")) &&
        m_checked.time().hour() != m_checkedEnd.time().hour())
        QSKIP("the checkouts ran over the turn of an hour");
    expected.replace(QLatin1String("DAY"), m_checked.date().toString(Qt::ISODate));
    expected.replace(QLatin1String("HOUR"), m_checked.toString(QStringLiteral("yyyy-MM-dd'T'HH")) +
                                                QStringLiteral(":00Z"));

    const VornctlRun run = VornctlRun::of(
        report(QStringList{"--json", "--since", m_since, "--until", m_until} + options));
    QCOMPARE(run.exitCode, 0);
    const QJsonObject json = jsonOf(run.out);
    // The figures as the engine keeps them, read back from the JSON.
    ReportFigures figures;
    figures.checkouts = json[QLatin1String("checkouts")].toInteger();
    const QJsonObject outcomes = json[QLatin1String("outcomes")].toObject();
    figures.passed = outcomes[QLatin1String("pass")].toInteger();
    figures.failed = outcomes[QLatin1String("fail")].toInteger();
    figures.errors = outcomes[QLatin1String("error")].toInteger();
    figures.aborted = outcomes[QLatin1String("aborted")].toInteger();
    figures.readers = json[QLatin1String("readers")].toInteger();
    figures.firstChecked = json[QLatin1String("first_checked_readers")].toInteger();
    figures.firstPassed =
        qRound64(json[QLatin1String("first_pass_yield")].toDouble() * double(figures.firstChecked));
    const QJsonArray attempts = json[QLatin1String("attempts")].toArray();
    for (int index = 0; index < ReportFigures::Attempts::Counted; ++index)
        figures.attempts.passedOn[index] = attempts[index][QLatin1String("readers")].toInteger();
    figures.attempts.notPassed = attempts.last()[QLatin1String("readers")].toInteger();
    figures.finalPassed =
        qRound64(json[QLatin1String("final_yield")].toDouble() * double(figures.readers));
    figures.retestedReaders = json[QLatin1String("retested_readers")].toInteger();
    for (const QJsonValue &step : json[QLatin1String("pareto")].toArray())
        figures.pareto.append({step[QLatin1String("step")].toString(),
                               step[QLatin1String("failures")].toInteger(),
                               step[QLatin1String("share")].toDouble(),
                               step[QLatin1String("cumulative")].toDouble()});
    for (const QJsonValue &group : json[QLatin1String("groups")].toArray()) {
        const qint64 readers = group[QLatin1String("readers")].toInteger();
        const qint64 firstChecked = group[QLatin1String("first_checked_readers")].toInteger();
        figures.groups.append(
            {group[QLatin1String("key")].toString(), group[QLatin1String("checkouts")].toInteger(),
             readers, firstChecked,
             qRound64(group[QLatin1String("first_pass_yield")].toDouble() * double(firstChecked)),
             qRound64(group[QLatin1String("final_yield")].toDouble() * double(readers))});
        // A group without readers has no yield, rather than a yield of 0.
        QCOMPARE(group[QLatin1String("final_yield")].isNull(), readers == 0);
    }
    QCOMPARE(json[QLatin1String("first_pass_yield")].isNull(), figures.firstChecked == 0);
    QCOMPARE(summaryOf(figures), expected);
    QCOMPARE(json[QLatin1String("from")].toString(), m_since);
    QCOMPARE(json[QLatin1String("to")].toString(), m_until);
}

void YieldReportTest::lastSevenDaysByDefault()
{
    // Without --since and --until: today and the six days before, whole days in UTC; the
    // readers' checkouts three days on and twenty days back stay out.
    const VornctlRun run = VornctlRun::of(report({"--json"}));
    QCOMPARE(run.exitCode, 0);
    const QJsonObject json = jsonOf(run.out);
    const QDate today = QDateTime::currentDateTimeUtc().date();
    QCOMPARE(json[QLatin1String("from")].toString(),
             today.addDays(-6).toString(Qt::ISODate) + QStringLiteral("T00:00:00Z"));
    QCOMPARE(json[QLatin1String("to")].toString(),
             today.addDays(1).toString(Qt::ISODate) + QStringLiteral("T00:00:00Z"));
    QCOMPARE(json[QLatin1String("checkouts")].toInteger(), 8);
    QCOMPARE(json[QLatin1String("first_pass_yield")].toDouble(), 1.0 / 3.0);
    QCOMPARE(json[QLatin1String("final_yield")].toDouble(), 0.5);
    QCOMPARE(json[QLatin1String("filters")].toObject(), (QJsonObject{{"station", QJsonValue()},
                                                                     {"model", QJsonValue()},
                                                                     {"lot", QJsonValue()},
                                                                     {"operator", QJsonValue()},
                                                                     {"plan", QJsonValue()}}));
    QVERIFY(!json.contains(QLatin1String("groups")));
}

void YieldReportTest::emptyWindow()
{
    const VornctlRun run =
        VornctlRun::of(report({"--json", "--since", "2020-01-01", "--until", "2020-01-01", "--by",
                               "day", "--station", "line-1"}));
    QCOMPARE(run.exitCode, 0);
    const QJsonObject json = jsonOf(run.out);
    QCOMPARE(json[QLatin1String("from")].toString(), QStringLiteral("2020-01-01T00:00:00Z"));
    QCOMPARE(json[QLatin1String("to")].toString(), QStringLiteral("2020-01-02T00:00:00Z"));
    for (const char *count : {"checkouts", "readers", "retested_readers", "throughput_per_hour"})
        QCOMPARE(json[QLatin1String(count)].toDouble(-1), 0.0);
    for (const char *unknown : {"first_pass_yield", "final_yield"})
        QVERIFY(json[QLatin1String(unknown)].isNull());
    QCOMPARE(json[QLatin1String("outcomes")].toObject(),
             (QJsonObject{{"pass", 0}, {"fail", 0}, {"error", 0}, {"aborted", 0}, {"refused", 0}}));
    QCOMPARE(json[QLatin1String("duration_ms")].toObject(),
             (QJsonObject{{"median", QJsonValue()}, {"p95", QJsonValue()}}));
    QCOMPARE(json[QLatin1String("pareto")].toArray(), QJsonArray());
    QCOMPARE(json[QLatin1String("groups")].toArray(), QJsonArray());
    QCOMPARE(json[QLatin1String("filters")][QLatin1String("station")].toString(), "line-1");

    const VornctlRun text =
        VornctlRun::of(report({"--since", "2020-01-01", "--until", "2020-01-01"}));
    QCOMPARE(text.exitCode, 0);
    QVERIFY2(text.out.contains(QStringLiteral("First-pass yield  –")), qPrintable(text.out));
    QVERIFY(text.out.contains(QLatin1String("Failing steps: none")));

    // A start after the default end, without an end: that day, empty so far.
    const QDate tomorrow = QDateTime::currentDateTimeUtc().date().addDays(1);
    const VornctlRun ahead =
        VornctlRun::of(report({"--json", "--since", tomorrow.toString(Qt::ISODate)}));
    QCOMPARE(ahead.exitCode, 0);
    QCOMPARE(jsonOf(ahead.out)[QLatin1String("to")].toString(),
             tomorrow.addDays(1).toString(Qt::ISODate) + QStringLiteral("T00:00:00Z"));
    QCOMPARE(jsonOf(ahead.out)[QLatin1String("checkouts")].toInteger(-1), 0);
}

void YieldReportTest::textAndCsv()
{
    const QStringList window{"--since", m_since, "--until", m_until};
    const VornctlRun text = VornctlRun::of(report(window + QStringList{"--by", "station"}));
    QCOMPARE(text.exitCode, 0);
    for (const char *line :
         {"\nCheckouts         8  (pass 2, fail 3, error 2, aborted 1, refused 0)\n",
          "\nReaders           4  (2 retested, 3 first checked)\n", "\nFirst-pass yield  33.3 %\n",
          "\nFinal yield       50.0 %\n", "\nBy attempt        1 1, 2 0, 3+ 0, not passed 2\n"})
        QVERIFY2(text.out.contains(QString::fromUtf8(line)), qPrintable(text.out));
    // The Pareto as bars: 3 failures the whole 40 characters, 1 a third of them (13 3/8).
    QVERIFY2(text.out.contains(QRegularExpression(
                 QStringLiteral("\n  clocks    █{40}  3  60.0 %   60.0 %\n"
                                "  echo      █{13}▍ {26}  1  20.0 %   80.0 %\n"
                                "  identify  █{13}▍ {26}  1  20.0 %  100.0 %\n"))),
             qPrintable(text.out));
    QVERIFY2(text.out.contains(QRegularExpression(
                 QStringLiteral("\n  station +checkouts +readers +first-pass +final\n"
                                "  line-1 +4 +3 +50.0 % +33.3 %\n"
                                "  line-2 +4 +3 +0.0 % +33.3 %\n"))),
             qPrintable(text.out));

    const VornctlRun pareto =
        VornctlRun::of(report(window + QStringList{"--csv", "--table", "pareto"}));
    QCOMPARE(pareto.exitCode, 0);
    QCOMPARE(pareto.out, QStringLiteral("step,failures,share,cumulative\r\n"
                                        "clocks,3,0.6,0.6\r\n"
                                        "echo,1,0.2,0.8\r\n"
                                        "identify,1,0.2,1\r\n"));
    const VornctlRun attempts =
        VornctlRun::of(report(window + QStringList{"--csv", "--table", "attempts"}));
    QCOMPARE(attempts.exitCode, 0);
    QCOMPARE(attempts.out, QStringLiteral("attempt,readers,share\r\n"
                                          "1,1,0.3333333333333333\r\n"
                                          "2,0,0\r\n"
                                          "3 or later,0,0\r\n"
                                          "not passed,2,0.6666666666666666\r\n"));
    const VornctlRun groups = VornctlRun::of(report(window + QStringList{"--csv", "--by", "lot"}));
    QCOMPARE(groups.exitCode, 0);
    QCOMPARE(groups.out, QStringLiteral("lot,checkouts,readers,first_pass_yield,final_yield\r\n"
                                        "L1,7,4,0.3333333333333333,0.5\r\n"
                                        "L2,1,0,,\r\n"));
    // Without --by: the window's totals, one row under the header.
    const VornctlRun totals = VornctlRun::of(report(window + QStringList{"--csv"}));
    QCOMPARE(totals.exitCode, 0);
    const QStringList lines = totals.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].startsWith(QLatin1String("from,to,checkouts,readers,pass,fail,error,")),
             qPrintable(lines[0]));
    QVERIFY2(lines[1].startsWith(m_since.left(13)), qPrintable(lines[1]));
    QVERIFY2(lines[1].contains(QLatin1String(",8,4,2,3,2,1,0,3,")), qPrintable(lines[1]));
}

namespace {

// The fields of one CSV line (RFC 4180): a quoted field may hold commas and doubled quotes.
qsizetype csvFieldCount(const QString &line)
{
    static const QRegularExpression field(QStringLiteral("\\G(\"(?:[^\"]|\"\")*\"|[^,\"]*)(,|$)"));
    qsizetype count = 0;
    qsizetype at = 0;
    for (QRegularExpressionMatch match = field.match(line, at); match.hasMatch();
         match = field.match(line, at)) {
        ++count;
        if (match.captured(2).isEmpty())
            return match.capturedEnd() == line.size() ? count : -1;
        at = match.capturedEnd();
    }
    return -1; // a field that is neither quoted whole nor free of quotes
}

} // namespace

void YieldReportTest::csvRowsAsWideAsTheHeader_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("totals") << QStringList{"report", "--csv"};
    QTest::newRow("by station") << QStringList{"report", "--csv", "--by", "station"};
    QTest::newRow("by day") << QStringList{"report", "--csv", "--by", "day"};
    QTest::newRow("attempts") << QStringList{"report", "--csv", "--table", "attempts"};
    QTest::newRow("pareto of steps") << QStringList{"report", "--csv", "--table", "pareto"};
    QTest::newRow("checkouts") << QStringList{"list", "--csv"};
}

// A spreadsheet takes the first line for the columns: a row wider or narrower than it is read
// into the wrong columns.
void YieldReportTest::csvRowsAsWideAsTheHeader()
{
    QFETCH(QStringList, arguments);
    const bool report = arguments.first() == QLatin1String("report");
    const VornctlRun run = VornctlRun::of(
        QStringList{QStringLiteral("--records"), m_url, QStringLiteral("records")} + arguments +
        (report ? QStringList{"--since", m_day.toString(Qt::ISODate), "--until", m_until}
                : QStringList()));
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.endsWith(QLatin1String("\r\n")));
    const QStringList lines = run.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() > 1, qPrintable(run.out));
    const qsizetype header = csvFieldCount(lines.first());
    for (const QString &line : lines)
        QVERIFY2(csvFieldCount(line) == header,
                 qPrintable(lines.first() + QLatin1Char('\n') + line));
}

void YieldReportTest::pdfWithoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    const QString pdf = m_databases.folder().filePath(QStringLiteral("yield.pdf"));
    const VornctlRun run =
        VornctlRun::of(report({"--since", m_since, "--until", m_until, "--pdf", pdf}), environment);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QStringLiteral("Wrote the yield report to %1\n").arg(pdf));

    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"),
                    {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY(pdftotext.waitForFinished(30'000));
    QCOMPARE(pdftotext.exitCode(), 0);
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
    QCOMPARE(text.count(QLatin1Char('\f')), 2); // two pages
    // The headline figures, the window, the steps and both stations.
    for (const QString &words :
         {QStringLiteral("Yield report"), QStringLiteral("50.0 %"),
          QStringLiteral("First-pass yield"), QStringLiteral("Final yield"),
          QStringLiteral("Outcomes: pass 2 · fail 3 · error 2 · aborted 1 · refused 0"),
          QStringLiteral("Passed on attempt 3 or later"), QStringLiteral("Not passed yet"),
          QStringLiteral("clocks"), QStringLiteral("echo"), QStringLiteral("line-1"),
          QStringLiteral("line-2"), QStringLiteral("33.3 %"),
          m_since.left(10) + QLatin1Char(' ') + m_since.mid(11, 5)})
        QVERIFY2(text.contains(words), qPrintable(words + QLatin1Char('\n') + text));
    QVERIFY(QRegularExpression(QStringLiteral("\\b8\\s+4\\s+33.3 %\\s+50.0 %"))
                .match(text.simplified())
                .hasMatch());

    // The first page drawn: a good part of it is not white.
    QProcess pdftoppm;
    pdftoppm.start(QStringLiteral("pdftoppm"),
                   {QStringLiteral("-r"), QStringLiteral("30"), QStringLiteral("-f"),
                    QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
                    QStringLiteral("-gray"), pdf});
    QVERIFY(pdftoppm.waitForFinished(30'000));
    QCOMPARE(pdftoppm.exitCode(), 0);
    const QByteArray image = pdftoppm.readAllStandardOutput();
    // "P5\nWIDTH HEIGHT\n255\n" and a byte per pixel.
    const QList<QByteArray> header = image.left(32).split('\n');
    QVERIFY(header.size() > 3 && header[0] == "P5");
    const QList<QByteArray> size = header[1].split(' ');
    const qsizetype pixels = size[0].toLongLong() * size[1].toLongLong();
    const QByteArray data = image.right(pixels);
    const auto dark =
        std::count_if(data.cbegin(), data.cend(), [](char pixel) { return quint8(pixel) < 160; });
    QVERIFY2(dark > pixels / 50, qPrintable(QString::number(dark)));
}

// A window of more days and stations than a page holds: every day and every station is in a
// table, none told as "and N more", and every page says which of how many it is.
void YieldReportTest::pdfTablesGoOnOverPages()
{
    QString error;
    const RecordsLocation location = m_databases.fresh(&error);
    QVERIFY2(!location.isNone(), qPrintable(error));
    RecordsStore store(location);
    QVERIFY2(store.open(), qPrintable(store.errorText()));
    constexpr int Days = 70;
    const QDate first(2026, 9, 1);
    for (int day = 0; day < Days; ++day)
        QCOMPARE(store.store(Made{300 + day,
                                  utc(first.addDays(day), 9, 0),
                                  ReaderOutcome::Pass,
                                  {},
                                  QStringLiteral("station-%1").arg(day, 2, 10, QLatin1Char('0')),
                                  "L",
                                  "ann",
                                  2000}
                                 .record()),
                 RecordsStore::Stored::Added);
    const QString pdf = m_databases.folder().filePath(QStringLiteral("seventy-days.pdf"));
    const VornctlRun run = VornctlRun::of(
        {"--records", location.url(), "records", "report", "--since", first.toString(Qt::ISODate),
         "--until", first.addDays(Days).toString(Qt::ISODate), "--pdf", pdf});
    QCOMPARE(run.exitCode, 0);

    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY(pdftotext.waitForFinished(30'000));
    const QStringList pages =
        QString::fromUtf8(pdftotext.readAllStandardOutput()).split(QLatin1Char('\f'));
    const qsizetype count = pages.size() - 1; // after the last page's form feed
    QVERIFY2(count >= 3, qPrintable(pages.join(QLatin1Char('\f'))));
    for (qsizetype page = 0; page < count; ++page)
        QVERIFY2(pages[page].contains(QStringLiteral("page %1 of %2").arg(page + 1).arg(count)),
                 qPrintable(pages[page]));
    const QString whole = pages.join(QLatin1Char('\n'));
    QVERIFY(!whole.contains(QLatin1String(" more")));
    for (int day = 0; day < Days; ++day) {
        QVERIFY2(whole.contains(QStringLiteral("station-%1").arg(day, 2, 10, QLatin1Char('0'))),
                 qPrintable(QString::number(day)));
        QVERIFY2(whole.contains(first.addDays(day).toString(Qt::ISODate)),
                 qPrintable(first.addDays(day).toString(Qt::ISODate)));
    }
}

void YieldReportTest::badArgumentsTouchNothing_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("words");
    QTest::newRow("not a date") << QStringList{"--since", "tomorrow-ish"}
                                << "--since must be a date or a date and time in UTC";
    QTest::newRow("no such month")
        << QStringList{"--until", "2026-13-01"} << "--until must be a date";
    QTest::newRow("unknown grouping")
        << QStringList{"--by", "colour"}
        << "--by takes day, hour, station, model, firmware, operator, lot or plan, not 'colour'";
    QTest::newRow("unknown model")
        << QStringList{"--model", "5"} << "--model must be 4 or 8 (Vorn4, Vorn8), not '5'";
    QTest::newRow("window backwards")
        << QStringList{"--since", "2026-12-07", "--until", "2026-12-06"} << "the window is empty";
    QTest::newRow("json and csv") << QStringList{"--json", "--csv"} << "not both";
    QTest::newRow("pdf without a name") << QStringList{"--pdf="} << "--pdf needs a file name";
    QTest::newRow("an option of list")
        << QStringList{"--serial", "1"} << "--serial is not an option of 'records report'";
    QTest::newRow("an argument") << QStringList{"today"} << "takes no arguments";
}

void YieldReportTest::badArgumentsTouchNothing()
{
    QFETCH(QStringList, options);
    QFETCH(QString, words);
    // A records file that is not there yet stays so, and no PDF is written.
    const QDir folder(m_databases.folder().path());
    const QString records = folder.filePath(QStringLiteral("untouched.sqlite"));
    const QString pdf = folder.filePath(QStringLiteral("untouched.pdf"));
    const VornctlRun run =
        VornctlRun::of(QStringList{"--records", QStringLiteral("sqlite:") + records, "records",
                                   "report", "--pdf", pdf} +
                       options);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(words), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    QVERIFY(!QFile::exists(records));
    QVERIFY(!QFile::exists(pdf));
}

QTEST_GUILESS_MAIN(YieldReportTest)
#include "tst_yieldreport.moc"
