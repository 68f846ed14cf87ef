#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <array>
#include <optional>

class RecordsStore;

// What a yield report groups its figures by.
enum class ReportGrouping
{
    None,
    Day, // UTC
    Hour,
    Station,
    Model,
    Firmware,
    Operator,
    Lot,
    Plan,
};

// "day", "hour", "station", "model", "firmware", "operator", "lot"; "" for None.
QString reportGroupingName(ReportGrouping grouping);
std::optional<ReportGrouping> reportGroupingFromName(const QString &name);

// The checkouts a yield report covers: a window of time, from included and to not, narrowed by
// filters (an empty filter does not narrow), and what the groups are.
struct ReportQuery
{
    QDateTime from;
    QDateTime to;
    QString station;
    QString model; // "Vorn8", "Vorn4"
    QString lot;
    QString operatorName;
    QString plan; // the plan's name
    ReportGrouping by = ReportGrouping::None;
    bool paretoOfCauses = false; // the text and CSV show the repairs' causes, not the steps

    // The window of the last `days` days up to now, in whole UTC days: from midnight UTC
    // days - 1 days before today to midnight after today.
    static ReportQuery lastDays(int days, const QDateTime &now);
};

// The figures of one group of a report: its checkouts, and the yields of its readers as if the
// group were the whole window.
struct ReportGroup
{
    QString key; // "2026-12-07", "2026-12-07T14:00Z", a station, "Vorn8", "3", ...; "" for
                 // checkouts without that fact
    qint64 checkouts = 0;
    qint64 readers = 0;
    qint64 firstChecked = 0; // readers whose first attempt ever falls in the group
    qint64 firstPassed = 0;  // of those, the readers whose first attempt passed
    qint64 finalPassed = 0;  // readers whose latest checkout in the group passed

    std::optional<double> firstPassYield() const;
    std::optional<double> finalYield() const;
    // {"key", "checkouts", "readers", "first_pass_yield", "final_yield",
    //  "first_checked_readers"}
    QJsonObject toJson() const;

    friend bool operator==(const ReportGroup &, const ReportGroup &) = default;
};

// A step of the Pareto of failures: the checkouts in which it ended fail or error, and its
// share of all steps' failures (0 to 1), the shares of the steps before it added.
struct ParetoStep
{
    QString step;
    qint64 failures = 0;
    double share = 0;
    double cumulative = 0;

    friend bool operator==(const ParetoStep &, const ParetoStep &) = default;
};

// The figures of a yield report. A reader is a serial number; an attempt is a checkout of a
// reader that identified and that passed, failed or ended in error (not aborted, not refused).
// Readers, yields and durations count attempts; checkouts, outcomes and the Pareto count every
// checkout, those of readers that never identified too. The first-pass yield and the attempts
// count the readers whose first attempt ever (on any station) falls in the window, by the facts
// of that attempt, and their attempts up to the window's end.
struct ReportFigures
{
    // The readers first checked in the window by the attempt on which they first passed.
    struct Attempts
    {
        static constexpr int Counted = 3;       // the last counts that attempt and later ones
        std::array<qint64, Counted> passedOn{}; // [0]: on the first attempt
        qint64 notPassed = 0;                   // by the window's end
    };

    ReportQuery query;
    qint64 checkouts = 0;
    qint64 passed = 0; // the outcomes
    qint64 failed = 0;
    qint64 errors = 0;
    qint64 aborted = 0;
    qint64 refused = 0;
    qint64 readers = 0;
    qint64 firstChecked = 0; // readers whose first attempt ever falls in the window
    qint64 firstPassed = 0;  // of those, the readers whose first attempt passed
    qint64 finalPassed = 0;  // readers whose latest checkout in the window passed
    Attempts attempts;
    // Readers with an attempt in the window that was not their first ever (with a filter or a
    // group: their first there).
    qint64 retestedReaders = 0;
    qint64 unidentified = 0;  // checkouts of readers that never told their serial number
    QList<ParetoStep> pareto; // most failures first, then by name
    // The repairs entered in the window (narrowed by the checkouts they answer): how many, of
    // how many readers, how many of those passed a checkout after their repair (by the end),
    // and the Pareto of the causes ("" when none was given).
    qint64 repairs = 0;
    qint64 repairedReaders = 0;
    qint64 passedAfterRepair = 0;
    QList<ParetoStep> causes;
    std::optional<qint64> medianDurationMs; // to 10 ms, the nearest rank
    std::optional<qint64> p95DurationMs;
    qint64 hoursWithCheckouts = 0;
    QList<ReportGroup> groups; // with query.by, in key order

    std::optional<double> firstPassYield() const;
    std::optional<double> finalYield() const;
    // The checkouts over the hours that had any; 0 without checkouts.
    double throughputPerHour() const;
    // {"from", "to", "filters": {"station", "model", "lot", "operator"}, "checkouts", "readers",
    //  "outcomes": {"pass", "fail", "error", "aborted", "refused"}, "first_checked_readers",
    //  "first_pass_yield", "final_yield", "attempts": [{"attempt": 1, "readers"}, {2}, {3,
    //  "or_later": true}, {"attempt": null (not passed yet)}], "retested_readers",
    //  "unidentified_checkouts", "pareto": [{"step", "failures", "share", "cumulative"}],
    //  "repairs": {"repairs", "readers", "passed_after", "causes": [{"cause", "repairs",
    //  "share", "cumulative"}]},
    //  "duration_ms": {"median", "p95"}, "throughput_per_hour", "by"}, and "groups" when
    // grouped. Yields and shares run from 0 to 1; what cannot be known (a yield without readers)
    // is null.
    QJsonObject toJson() const;
};

// What a station shows of its own day: readers checked, their first-pass yield, and the step
// that failed most, with its count.
struct StationYield
{
    qint64 readers = 0;
    std::optional<double> firstPassYield;
    std::optional<double> finalYield;
    QString mostFailedStep; // empty when no step failed
    qint64 mostFailedStepFailures = 0;

    // "42 readers today, first-pass yield 95.2 %, final yield 97.6 %, most failed: echo (2)"
    QString text() const;

    friend bool operator==(const StationYield &, const StationYield &) = default;
};

// A yield as people read it: "95.2 %", or "–" when there is none.
QString yieldPercent(std::optional<double> yield);

// Yield figures computed by the records database itself, on SQLite as on PostgreSQL, from the
// summaries kept with every record (store/yieldsummaries.h): a window of whole hours with at
// most one filter reads only those; other windows and filters read the checkouts of the window,
// with the same figures.
//
//     YieldReport report(store);
//     const std::optional<ReportFigures> figures = report.run(query);
//     if (!figures) ... report.errorText()
class YieldReport
{
public:
    explicit YieldReport(RecordsStore &store);

    // Nothing on failure, with the reason in errorText().
    std::optional<ReportFigures> run(const ReportQuery &query);
    QString errorText() const { return m_error; }

    // The yield line of a station's window, for one day of the station's own clock (a
    // window [dayStart, dayEnd)), on the thread that owns the store: readers checked there,
    // their first-pass yield and the step that failed most. Nothing on failure.
    static std::optional<StationYield> stationToday(RecordsStore &store, const QString &station,
                                                    const QDateTime &dayStart,
                                                    const QDateTime &dayEnd);

private:
    struct Window;
    using Groups = QMap<QString, ReportGroup>; // by the key the database gave

    bool outcomes(const Window &window, ReportFigures &figures, Groups &groups);
    bool pareto(const Window &window, ReportFigures &figures);
    bool repairs(const Window &window, ReportFigures &figures);
    bool unidentified(const Window &window, ReportFigures &figures);
    bool durations(const Window &window, ReportFigures &figures);
    bool chains(const Window &window, ReportGrouping by, ReportFigures &figures, Groups &groups);
    bool firsts(const Window &window, ReportGrouping by, ReportFigures &figures, Groups &groups);

    RecordsStore &m_store;
    QString m_error;
};
