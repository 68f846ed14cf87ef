#include "yield/yieldreport.h"

#include "checkout/checkoutrecord.h"
#include "store/recordsstore.h"
#include "store/yieldsummaries.h"

#include <QJsonArray>
#include <QMap>
#include <QSet>
#include <QSqlQuery>
#include <QTimeZone>
#include <QVariant>

#include <algorithm>
#include <array>
#include <utility>

using YieldSummaries::Dimension;

namespace {

const std::array<std::pair<ReportGrouping, const char *>, 8> GroupingNames{{
    {ReportGrouping::Day, "day"},
    {ReportGrouping::Hour, "hour"},
    {ReportGrouping::Station, "station"},
    {ReportGrouping::Model, "model"},
    {ReportGrouping::Firmware, "firmware"},
    {ReportGrouping::Operator, "operator"},
    {ReportGrouping::Lot, "lot"},
    {ReportGrouping::Plan, "plan"},
}};

// SQL text with the values of its placeholders, in order.
struct Sql
{
    QString text;
    QVariantList values;
};

std::optional<Dimension> dimensionOf(ReportGrouping grouping)
{
    switch (grouping) {
    case ReportGrouping::Station:
        return Dimension::Station;
    case ReportGrouping::Model:
        return Dimension::Model;
    case ReportGrouping::Firmware:
        return Dimension::Firmware;
    case ReportGrouping::Operator:
        return Dimension::Operator;
    case ReportGrouping::Lot:
        return Dimension::Lot;
    case ReportGrouping::Plan:
        return Dimension::Plan;
    case ReportGrouping::None:
    case ReportGrouping::Day:
    case ReportGrouping::Hour:
        break;
    }
    return std::nullopt;
}

std::optional<double> ratio(qint64 part, qint64 whole)
{
    if (whole == 0)
        return std::nullopt;
    return double(part) / double(whole);
}

QJsonValue orNull(std::optional<double> value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonValue orNull(std::optional<qint64> value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

// Bars of (name, count) rows: most first, then by name, each with its share of the whole and
// the shares before it added.
QList<ParetoStep> paretoOf(QSqlQuery &query)
{
    QList<ParetoStep> bars;
    qint64 total = 0;
    while (query.next()) {
        bars.append({query.value(0).toString(), query.value(1).toLongLong()});
        total += bars.last().failures;
    }
    // Ordered here rather than by the database, whose collation may order names otherwise.
    std::sort(bars.begin(), bars.end(), [](const ParetoStep &a, const ParetoStep &b) {
        return a.failures != b.failures ? a.failures > b.failures : a.step < b.step;
    });
    qint64 running = 0;
    for (ParetoStep &bar : bars) {
        running += bar.failures;
        bar.share = double(bar.failures) / double(total);
        bar.cumulative = double(running) / double(total);
    }
    return bars;
}

QString utcText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODate);
}

bool onWholeHour(const QDateTime &time)
{
    const QTime clock = time.toUTC().time();
    return clock.minute() == 0 && clock.second() == 0 && clock.msec() == 0;
}

// Group keys in the order a reader expects: firmware versions as numbers, the rest as text
// (days and hours are ISO text).
bool keyBefore(ReportGrouping grouping, const QString &a, const QString &b)
{
    if (grouping == ReportGrouping::Firmware && a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

QString groupKey(ReportGrouping grouping, const QString &key)
{
    return grouping == ReportGrouping::Hour ? key + QStringLiteral(":00Z") : key;
}

} // namespace

QString reportGroupingName(ReportGrouping grouping)
{
    for (const auto &[each, name] : GroupingNames) {
        if (each == grouping)
            return QLatin1String(name);
    }
    return {};
}

std::optional<ReportGrouping> reportGroupingFromName(const QString &name)
{
    for (const auto &[grouping, each] : GroupingNames) {
        if (name == QLatin1String(each))
            return grouping;
    }
    return std::nullopt;
}

ReportQuery ReportQuery::lastDays(int days, const QDateTime &now)
{
    ReportQuery query;
    query.to = QDateTime(now.toUTC().date().addDays(1), QTime(0, 0), QTimeZone::utc());
    query.from = query.to.addDays(-days);
    return query;
}

std::optional<double> ReportGroup::firstPassYield() const
{
    return ratio(firstPassed, firstChecked);
}

std::optional<double> ReportGroup::finalYield() const
{
    return ratio(finalPassed, readers);
}

QJsonObject ReportGroup::toJson() const
{
    return {{QStringLiteral("key"), key},
            {QStringLiteral("checkouts"), checkouts},
            {QStringLiteral("readers"), readers},
            {QStringLiteral("first_pass_yield"), orNull(firstPassYield())},
            {QStringLiteral("final_yield"), orNull(finalYield())},
            {QStringLiteral("first_checked_readers"), firstChecked}};
}

std::optional<double> ReportFigures::firstPassYield() const
{
    return ratio(firstPassed, firstChecked);
}

std::optional<double> ReportFigures::finalYield() const
{
    return ratio(finalPassed, readers);
}

double ReportFigures::throughputPerHour() const
{
    return ratio(checkouts, hoursWithCheckouts).value_or(0.0);
}

QJsonObject ReportFigures::toJson() const
{
    const auto paretoJson = [](const QList<ParetoStep> &bars, const QString &name,
                               const QString &count) {
        QJsonArray list;
        for (const ParetoStep &bar : bars)
            list.append(QJsonObject{{name, bar.step},
                                    {count, bar.failures},
                                    {QStringLiteral("share"), bar.share},
                                    {QStringLiteral("cumulative"), bar.cumulative}});
        return list;
    };
    const QJsonArray steps = paretoJson(pareto, QStringLiteral("step"), QStringLiteral("failures"));
    QJsonArray byAttempt;
    for (int index = 0; index < Attempts::Counted; ++index) {
        QJsonObject each{{QStringLiteral("attempt"), index + 1},
                         {QStringLiteral("readers"), attempts.passedOn.at(index)}};
        if (index + 1 == Attempts::Counted)
            each.insert(QStringLiteral("or_later"), true);
        byAttempt.append(each);
    }
    byAttempt.append(QJsonObject{{QStringLiteral("attempt"), QJsonValue()},
                                 {QStringLiteral("readers"), attempts.notPassed}});
    QJsonObject object{
        {QStringLiteral("from"), utcText(query.from)},
        {QStringLiteral("to"), utcText(query.to)},
        {QStringLiteral("filters"),
         QJsonObject{{QStringLiteral("station"), orNull(query.station)},
                     {QStringLiteral("model"), orNull(query.model)},
                     {QStringLiteral("lot"), orNull(query.lot)},
                     {QStringLiteral("operator"), orNull(query.operatorName)},
                     {QStringLiteral("plan"), orNull(query.plan)}}},
        {QStringLiteral("checkouts"), checkouts},
        {QStringLiteral("readers"), readers},
        {QStringLiteral("outcomes"), QJsonObject{{QStringLiteral("pass"), passed},
                                                 {QStringLiteral("fail"), failed},
                                                 {QStringLiteral("error"), errors},
                                                 {QStringLiteral("aborted"), aborted},
                                                 {QStringLiteral("refused"), refused}}},
        {QStringLiteral("first_checked_readers"), firstChecked},
        {QStringLiteral("first_pass_yield"), orNull(firstPassYield())},
        {QStringLiteral("attempts"), byAttempt},
        {QStringLiteral("final_yield"), orNull(finalYield())},
        {QStringLiteral("retested_readers"), retestedReaders},
        {QStringLiteral("unidentified_checkouts"), unidentified},
        {QStringLiteral("pareto"), steps},
        {QStringLiteral("repairs"),
         QJsonObject{{QStringLiteral("repairs"), repairs},
                     {QStringLiteral("readers"), repairedReaders},
                     {QStringLiteral("passed_after"), passedAfterRepair},
                     {QStringLiteral("causes"),
                      paretoJson(causes, QStringLiteral("cause"), QStringLiteral("repairs"))}}},
        {QStringLiteral("duration_ms"),
         QJsonObject{{QStringLiteral("median"), orNull(medianDurationMs)},
                     {QStringLiteral("p95"), orNull(p95DurationMs)}}},
        {QStringLiteral("throughput_per_hour"), throughputPerHour()},
        {QStringLiteral("by"), orNull(reportGroupingName(query.by))},
    };
    if (query.by != ReportGrouping::None) {
        QJsonArray list;
        for (const ReportGroup &group : groups)
            list.append(group.toJson());
        object.insert(QStringLiteral("groups"), list);
    }
    return object;
}

QString yieldPercent(std::optional<double> yield)
{
    return yield ? QString::number(*yield * 100.0, 'f', 1) + QStringLiteral(" %")
                 : QStringLiteral("–");
}

QString StationYield::text() const
{
    if (readers == 0)
        return QStringLiteral("no readers checked today");
    QString line = QStringLiteral("%1 %2 today, first-pass yield %3, final yield %4")
                       .arg(readers)
                       .arg(readers == 1 ? QStringLiteral("reader") : QStringLiteral("readers"),
                            yieldPercent(firstPassYield), yieldPercent(finalYield));
    if (!mostFailedStep.isEmpty())
        line += QStringLiteral(", most failed: %1 (%2)")
                    .arg(mostFailedStep)
                    .arg(mostFailedStepFailures);
    return line;
}

// Where the figures of a query come from: the rows of the summaries when the window starts and
// ends on whole hours (days, for the durations) and the filters are those of one dimension at
// most, else the checkouts of the window themselves, in the summaries' shapes.
struct YieldReport::Window
{
    QDateTime from; // UTC
    QDateTime to;
    bool wholeHours = false;
    QString fromHour; // "2026-12-07T14": the hour the window starts in
    QString toHour;
    QString fromText; // as the checkouts keep it
    QString toText;
    QList<std::pair<Dimension, QString>> filters;

    // Whether the figures within members of `within` come from the summaries.
    bool summarised(Dimension within) const { return wholeHours && partition(within); }

    // The filters as a condition on the checkouts, with its values.
    QString filterCondition(QVariantList &values) const
    {
        QString condition;
        for (const auto &[dimension, value] : filters) {
            condition +=
                QStringLiteral(" AND %1 = ?").arg(YieldSummaries::dimensionName(dimension));
            values.append(value);
        }
        return condition;
    }

    // The dimension of the summaries' rows that hold the figures of the filtered window within
    // members of `within` (All: one member for every checkout), and the member the filter asks
    // for; nothing when the filters need more than one dimension.
    std::optional<std::pair<Dimension, QString>> partition(Dimension within) const
    {
        const auto plan = [](const std::pair<Dimension, QString> &filter) {
            return filter.first == Dimension::Plan;
        };
        if (within == Dimension::Plan || std::any_of(filters.cbegin(), filters.cend(), plan))
            return std::nullopt; // the summaries do not count by plan
        if (filters.isEmpty())
            return std::pair{within, QString()};
        if (filters.size() == 1 && (within == Dimension::All || filters.first().first == within))
            return filters.first();
        return std::nullopt;
    }

    // The window's rows of an hourly summary (member, hour, columns...) counted within members
    // of `within`, or its checkouts in their shape.
    Sql hourly(const QString &table, const QString &columns,
               QString (*shape)(const QString &, const QString &), Dimension within) const
    {
        Sql sql;
        const auto rows = partition(within);
        if (summarised(within)) {
            sql.text = QStringLiteral("SELECT member, hour, %1 FROM %2 WHERE dimension = ? AND "
                                      "hour >= ? AND hour < ?")
                           .arg(columns, table);
            sql.values = {YieldSummaries::dimensionName(rows->first), fromHour, toHour};
            if (!rows->second.isNull()) {
                sql.text += QStringLiteral(" AND member = ?");
                sql.values.append(rows->second);
            }
            return sql;
        }
        sql.values = {fromText, toText};
        const QString condition =
            QStringLiteral("started >= ? AND started < ?") + filterCondition(sql.values);
        sql.text = shape(YieldSummaries::memberExpression(within), condition);
        return sql;
    }

    // The window's durations (duration_ms, checkouts): its whole days from yield_durations, the
    // hours before the first whole day and after the last from the checkouts.
    Sql durations() const
    {
        const QDate firstDay = from.time() == QTime(0, 0) ? from.date() : from.date().addDays(1);
        const QDate endDay = to.date();
        const auto rows = partition(Dimension::All);
        const auto midnight = [](QDate day) {
            return day.toString(Qt::ISODate) + QStringLiteral("T00:00:00.000Z");
        };
        QStringList parts;
        Sql sql;
        QList<std::pair<QString, QString>> edges{{fromText, toText}};
        if (rows && firstDay < endDay) {
            parts.append(QStringLiteral("SELECT duration_ms, checkouts FROM yield_durations "
                                        "WHERE dimension = ? AND day >= ? AND day < ?"));
            sql.values << YieldSummaries::dimensionName(rows->first)
                       << firstDay.toString(Qt::ISODate) << endDay.toString(Qt::ISODate);
            if (!rows->second.isNull()) {
                parts.last() += QStringLiteral(" AND member = ?");
                sql.values.append(rows->second);
            }
            edges = {{fromText, midnight(firstDay)}, {midnight(endDay), toText}};
        }
        QStringList ranges;
        QVariantList values;
        for (const auto &[start, end] : edges) {
            if (start >= end)
                continue;
            ranges.append(QStringLiteral("(started >= ? AND started < ?)"));
            values << start << end;
        }
        if (!ranges.isEmpty()) {
            const QString condition = QLatin1Char('(') + ranges.join(QLatin1String(" OR ")) +
                                      QLatin1Char(')') + filterCondition(values);
            parts.append(QStringLiteral("SELECT duration_ms, checkouts FROM (%1) AS edge")
                             .arg(YieldSummaries::checkoutsAsDurations(
                                 YieldSummaries::memberExpression(Dimension::All), condition)));
            sql.values += values;
        }
        sql.text = parts.join(QLatin1String(" UNION ALL "));
        return sql;
    }
};

YieldReport::YieldReport(RecordsStore &store) : m_store(store) {}

namespace {

bool runQuery(RecordsStore &store, const Sql &sql, QSqlQuery &query)
{
    query = store.database().prepare(sql.text);
    for (const QVariant &value : sql.values)
        query.addBindValue(value);
    return store.database().exec(query);
}

} // namespace

std::optional<ReportFigures> YieldReport::run(const ReportQuery &query)
{
    if (!query.from.isValid() || !query.to.isValid() || query.from >= query.to) {
        m_error = QStringLiteral("the report's window must start before it ends");
        return std::nullopt;
    }
    Window window;
    window.from = query.from.toUTC();
    window.to = query.to.toUTC();
    window.wholeHours = onWholeHour(query.from) && onWholeHour(query.to);
    window.fromHour = YieldSummaries::hourOf(query.from);
    window.toHour = YieldSummaries::hourOf(query.to);
    window.fromText = isoUtc(query.from);
    window.toText = isoUtc(query.to);
    const std::array<std::pair<Dimension, QString>, 5> filters{{
        {Dimension::Station, query.station},
        {Dimension::Model, query.model},
        {Dimension::Lot, query.lot},
        {Dimension::Operator, query.operatorName},
        {Dimension::Plan, query.plan},
    }};
    for (const auto &filter : filters) {
        if (!filter.second.isEmpty())
            window.filters.append(filter);
    }

    ReportFigures figures;
    figures.query = query;
    Groups groups;
    if (!outcomes(window, figures, groups) || !pareto(window, figures) ||
        !repairs(window, figures) || !unidentified(window, figures) ||
        !durations(window, figures) || !chains(window, ReportGrouping::None, figures, groups) ||
        !firsts(window, ReportGrouping::None, figures, groups) ||
        (query.by != ReportGrouping::None && (!chains(window, query.by, figures, groups) ||
                                              !firsts(window, query.by, figures, groups)))) {
        m_error = m_store.errorText();
        return std::nullopt;
    }
    for (auto group = groups.begin(); group != groups.end(); ++group)
        group->key = group.key();
    figures.groups = groups.values();
    std::sort(figures.groups.begin(), figures.groups.end(),
              [by = query.by](const ReportGroup &a, const ReportGroup &b) {
                  return keyBefore(by, a.key, b.key);
              });
    for (ReportGroup &group : figures.groups)
        group.key = groupKey(query.by, group.key);
    return figures;
}

// Checkouts and outcomes, in all and per group, and the hours that had any. Added up by hour
// (in the order the summary keeps them), and the hours into days here.
bool YieldReport::outcomes(const Window &window, ReportFigures &figures, Groups &groups)
{
    const Sql source =
        window.hourly(QStringLiteral("yield_hours"), QStringLiteral("outcome, checkouts"),
                      &YieldSummaries::checkoutsAsHours, Dimension::All);
    QSqlQuery query;
    if (!runQuery(m_store,
                  {QStringLiteral("SELECT hour, outcome, sum(checkouts) FROM (%1) AS s "
                                  "GROUP BY hour, outcome")
                       .arg(source.text),
                   source.values},
                  query))
        return false;
    const ReportGrouping by = figures.query.by;
    QSet<QString> hours;
    while (query.next()) {
        const QString hour = query.value(0).toString();
        const QString outcome = query.value(1).toString();
        const qint64 count = query.value(2).toLongLong();
        hours.insert(hour);
        figures.checkouts += count;
        if (outcome == QLatin1String("pass"))
            figures.passed += count;
        else if (outcome == QLatin1String("fail"))
            figures.failed += count;
        else if (outcome == QLatin1String("error"))
            figures.errors += count;
        else if (outcome == QLatin1String("aborted"))
            figures.aborted += count;
        else if (outcome == QLatin1String("refused"))
            figures.refused += count;
        if (by == ReportGrouping::Day || by == ReportGrouping::Hour)
            groups[by == ReportGrouping::Day ? hour.left(10) : hour].checkouts += count;
    }
    if (!m_store.database().readToTheEnd(query))
        return false;
    figures.hoursWithCheckouts = hours.size();
    const std::optional<Dimension> dimension = dimensionOf(by);
    if (!dimension)
        return true;
    const Sql members =
        window.hourly(QStringLiteral("yield_hours"), QStringLiteral("outcome, checkouts"),
                      &YieldSummaries::checkoutsAsHours, *dimension);
    if (!runQuery(m_store,
                  {QStringLiteral("SELECT member, sum(checkouts) FROM (%1) AS s GROUP BY member")
                       .arg(members.text),
                   members.values},
                  query))
        return false;
    while (query.next())
        groups[query.value(0).toString()].checkouts += query.value(1).toLongLong();
    return m_store.database().readToTheEnd(query);
}

// Few, and found through the index on the serial number: read from the checkouts themselves.
bool YieldReport::unidentified(const Window &window, ReportFigures &figures)
{
    Sql sql{QStringLiteral("SELECT count(*) FROM checkouts WHERE serial IS NULL AND "
                           "started >= ? AND started < ?"),
            {window.fromText, window.toText}};
    sql.text += window.filterCondition(sql.values);
    QSqlQuery query;
    if (!runQuery(m_store, sql, query) || !query.next())
        return false;
    figures.unidentified = query.value(0).toLongLong();
    return true;
}

bool YieldReport::pareto(const Window &window, ReportFigures &figures)
{
    const Sql source =
        window.hourly(QStringLiteral("yield_steps"), QStringLiteral("step, failures"),
                      &YieldSummaries::checkoutsAsSteps, Dimension::All);
    QSqlQuery query;
    if (!runQuery(m_store,
                  {QStringLiteral("SELECT step, sum(failures) FROM (%1) AS s GROUP BY step")
                       .arg(source.text),
                   source.values},
                  query))
        return false;
    figures.pareto = paretoOf(query);
    return m_store.database().readToTheEnd(query);
}

// The repairs entered in the window, narrowed by the facts of the checkouts they answer.
bool YieldReport::repairs(const Window &window, ReportFigures &figures)
{
    QVariantList values{window.fromText, window.toText};
    const QString inWindow =
        QStringLiteral("r.repaired >= ? AND r.repaired < ?") +
        window.filterCondition(values).replace(QLatin1String(" AND "), QLatin1String(" AND c."));
    const QString repaired =
        QStringLiteral("repairs r JOIN checkouts c ON c.id = r.checkout_id WHERE ") + inWindow;
    QSqlQuery query;
    if (!runQuery(m_store,
                  {QStringLiteral("SELECT count(*), count(DISTINCT r.serial), count(DISTINCT "
                                  "CASE WHEN EXISTS (SELECT 1 FROM checkouts p WHERE p.serial = "
                                  "r.serial AND p.outcome = 'pass' AND p.started > r.repaired AND "
                                  "p.started < ?) THEN r.serial END) FROM ") +
                       repaired,
                   QVariantList{window.toText} + values},
                  query) ||
        !query.next())
        return false;
    figures.repairs = query.value(0).toLongLong();
    figures.repairedReaders = query.value(1).toLongLong();
    figures.passedAfterRepair = query.value(2).toLongLong();
    if (!runQuery(m_store,
                  {QStringLiteral("SELECT r.cause, count(*) FROM ") + repaired +
                       QStringLiteral(" GROUP BY r.cause"),
                   values},
                  query))
        return false;
    figures.causes = paretoOf(query);
    return m_store.database().readToTheEnd(query);
}

// The median and 95th percentile by nearest rank: the shortest duration that at least half
// (95 %) of the checkouts took no longer than.
bool YieldReport::durations(const Window &window, ReportFigures &figures)
{
    const Sql source = window.durations();
    const Sql sql{
        QStringLiteral("SELECT min(CASE WHEN 2 * below >= total THEN duration_ms END), "
                       "min(CASE WHEN 20 * below >= 19 * total THEN duration_ms END) "
                       "FROM (SELECT duration_ms, sum(n) OVER (ORDER BY duration_ms) AS below, "
                       "sum(n) OVER () AS total FROM (SELECT duration_ms, sum(checkouts) AS n "
                       "FROM (%1) AS s GROUP BY duration_ms) AS histogram) AS cumulative")
            .arg(source.text),
        source.values};
    QSqlQuery query;
    if (!runQuery(m_store, sql, query) || !query.next())
        return false;
    if (!query.value(0).isNull())
        figures.medianDurationMs = query.value(0).toLongLong();
    if (!query.value(1).isNull())
        figures.p95DurationMs = query.value(1).toLongLong();
    return true;
}

// Readers and their yields, in all (by None) or per group. A checkout is its reader's first in
// a group when the reader's previous one lies before the group's start (the window's, or the
// day's or hour's when that is later), and its second when the one before that does; the
// reader's latest passed when its first did, plus for each later checkout its pass less its
// predecessor's.
bool YieldReport::chains(const Window &window, ReportGrouping by, ReportFigures &figures,
                         Groups &groups)
{
    const std::optional<Dimension> dimension = dimensionOf(by);
    const Sql source =
        window.hourly(QStringLiteral("yield_chains"),
                      QStringLiteral("passed, prev_hour, prev_passed, prev2_hour, checkouts"),
                      &YieldSummaries::checkoutsAsChains, dimension.value_or(Dimension::All));
    // Whether a previous checkout lies before the group's start, as SQL over one of the hour
    // columns, with its values. A day's start: "2026-12-07T" sorts after every hour of the
    // days before and before every hour of its own.
    const auto before = [&](const QString &column) -> Sql {
        if (by == ReportGrouping::Day)
            return {QStringLiteral("(%1 < ? OR %1 < substr(hour, 1, 11))").arg(column),
                    {window.fromHour}};
        if (by == ReportGrouping::Hour)
            return {QStringLiteral("%1 < hour").arg(column), {}};
        return {QStringLiteral("%1 < ?").arg(column), {window.fromHour}};
    };
    const Sql first = before(QStringLiteral("prev_hour"));
    const Sql second = before(QStringLiteral("prev2_hour"));
    // Days are added up from their hours here, as the outcomes are.
    std::optional<QString> group;
    if (by == ReportGrouping::Day || by == ReportGrouping::Hour)
        group = QStringLiteral("hour");
    else if (dimension)
        group = QStringLiteral("member");
    const Sql sql{QStringLiteral("SELECT %1, sum(CASE WHEN %2 THEN checkouts ELSE 0 END), "
                                 "sum(CASE WHEN %2 THEN passed * checkouts ELSE 0 END), "
                                 "sum(CASE WHEN %2 THEN passed * checkouts "
                                 "ELSE (passed - prev_passed) * checkouts END), "
                                 "sum(CASE WHEN %2 AND prev_hour = '' THEN checkouts ELSE 0 END), "
                                 "sum(CASE WHEN NOT %2 AND %3 AND prev2_hour = '' "
                                 "THEN checkouts ELSE 0 END) "
                                 "FROM (%4) AS s%5")
                      .arg(group.value_or(QStringLiteral("''")), first.text, second.text,
                           source.text, group ? QStringLiteral(" GROUP BY ") + *group : QString()),
                  first.values + first.values + first.values + first.values + first.values +
                      second.values + source.values};
    QSqlQuery query;
    if (!runQuery(m_store, sql, query))
        return false;
    while (query.next()) {
        const qint64 readers = query.value(1).toLongLong();
        const qint64 finalPassed = query.value(3).toLongLong();
        if (!group) {
            figures.readers = readers;
            figures.finalPassed = finalPassed;
            // The readers new to the chain that were not checked again in the window are the
            // ones not retested.
            figures.retestedReaders =
                readers - query.value(4).toLongLong() + query.value(5).toLongLong();
            continue;
        }
        const QString key = query.value(0).toString();
        ReportGroup &each = groups[by == ReportGrouping::Day ? key.left(10) : key];
        each.readers += readers;
        each.finalPassed += finalPassed;
    }
    return m_store.database().readToTheEnd(query);
}

// The readers whose first attempt ever falls in the window (or group), by the attempt on which
// they first passed up to the window's end.
bool YieldReport::firsts(const Window &window, ReportGrouping by, ReportFigures &figures,
                         Groups &groups)
{
    const std::optional<Dimension> dimension = dimensionOf(by);
    const Dimension within = dimension.value_or(Dimension::All);
    const Sql source =
        window.hourly(QStringLiteral("yield_firsts"), QStringLiteral("attempt, pass_hour, readers"),
                      &YieldSummaries::checkoutsAsFirsts, within);
    // The summaries keep a pass by its hour, the checkouts by its moment.
    const QString end = window.summarised(within) ? window.toHour : window.toText;
    QString group = QStringLiteral("''");
    if (by == ReportGrouping::Day || by == ReportGrouping::Hour)
        group = QStringLiteral("hour");
    else if (dimension)
        group = QStringLiteral("member");
    QSqlQuery query;
    if (!runQuery(m_store,
                  {QStringLiteral("SELECT grouped, passed_on, sum(readers) FROM (SELECT %1 AS "
                                  "grouped, CASE WHEN pass_hour <> '' AND pass_hour < ? THEN "
                                  "attempt ELSE 0 END AS passed_on, readers FROM (%2) AS s) AS t "
                                  "GROUP BY grouped, passed_on")
                       .arg(group, source.text),
                   QVariantList{end} + source.values},
                  query))
        return false;
    while (query.next()) {
        const int passedOn = query.value(1).toInt();
        const qint64 readers = query.value(2).toLongLong();
        if (by == ReportGrouping::None) {
            figures.firstChecked += readers;
            if (passedOn == 0)
                figures.attempts.notPassed += readers;
            else
                figures.attempts
                    .passedOn[std::min(passedOn, ReportFigures::Attempts::Counted) - 1] += readers;
            if (passedOn == 1)
                figures.firstPassed += readers;
            continue;
        }
        const QString key = query.value(0).toString();
        ReportGroup &each = groups[by == ReportGrouping::Day ? key.left(10) : key];
        each.firstChecked += readers;
        if (passedOn == 1)
            each.firstPassed += readers;
    }
    return m_store.database().readToTheEnd(query);
}

std::optional<StationYield> YieldReport::stationToday(RecordsStore &store, const QString &station,
                                                      const QDateTime &dayStart,
                                                      const QDateTime &dayEnd)
{
    ReportQuery query;
    query.from = dayStart;
    query.to = dayEnd;
    query.station = station;
    const std::optional<ReportFigures> figures = YieldReport(store).run(query);
    if (!figures)
        return std::nullopt;
    StationYield yield;
    yield.readers = figures->readers;
    yield.firstPassYield = figures->firstPassYield();
    yield.finalYield = figures->finalYield();
    if (!figures->pareto.isEmpty()) {
        yield.mostFailedStep = figures->pareto.first().step;
        yield.mostFailedStepFailures = figures->pareto.first().failures;
    }
    return yield;
}
