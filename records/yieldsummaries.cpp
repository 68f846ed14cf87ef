#include "records/yieldsummaries.h"

#include "checkout/checkoutoptions.h"
#include "checkout/readercheckout.h"
#include "records/recordsdatabase.h"

#include <QMap>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <array>
#include <tuple>

namespace {

using YieldSummaries::Dimension;

constexpr std::array<Dimension, 6> Dimensions{Dimension::All,   Dimension::Station,
                                              Dimension::Model, Dimension::Firmware,
                                              Dimension::Lot,   Dimension::Operator};

// The facts every additive summary is counted by, as columns of the checkouts table: the hour
// or the day, and the reader's station, model, firmware, lot and operator. (Made when asked
// for: the schema is built while the program's constants are being initialised.)
QString factColumns(bool byDay = false)
{
    return QStringLiteral("substr(started, 1, %1) AS %2, station, model, "
                          "COALESCE(CAST(firmware AS TEXT), '') AS firmware, lot, operator")
        .arg(byDay ? QStringLiteral("10") : QStringLiteral("13"),
             byDay ? QStringLiteral("day") : QStringLiteral("hour"));
}

QString factNames(bool byDay = false)
{
    return (byDay ? QStringLiteral("day") : QStringLiteral("hour")) +
           QStringLiteral(", station, model, firmware, lot, operator");
}

QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

QString firmwareText(const ReaderRecord &record)
{
    return record.firmware ? QString::number(*record.firmware) : QStringLiteral("");
}

QString memberOf(Dimension dimension, const ReaderRecord &record)
{
    switch (dimension) {
    case Dimension::All:
        return QStringLiteral("");
    case Dimension::Station:
        return text(record.station);
    case Dimension::Model:
        return text(record.modelName());
    case Dimension::Firmware:
        return firmwareText(record);
    case Dimension::Lot:
        return text(record.lot);
    case Dimension::Operator:
        return text(record.operatorName);
    }
    return {};
}

// Every step a checkout can have, as rows of one column "step", with the steps the summaries
// already count: the names failed_steps is matched against.
QString stepNames()
{
    CheckoutOptions everything;
    everything.cards = true;
    everything.programClocks = ClockSelection();
    everything.programTimeCounts = 0;
    QStringList rows;
    for (QString name : ReaderCheckout::stepNames(everything))
        rows.append(QStringLiteral("SELECT '%1' AS step")
                        .arg(name.replace(QLatin1Char('\''), QLatin1String("''"))));
    rows.append(QStringLiteral("SELECT step FROM yield_steps"));
    return rows.join(QLatin1String(" UNION "));
}

// Statements that fill the summaries from the checkouts table (which they must find empty).
QStringList fillStatements()
{
    QStringList statements{
        QStringLiteral("INSERT INTO yield_hours (%1, outcome, checkouts) "
                       "SELECT %1, outcome, sum(checkouts) FROM (%2) AS c "
                       "GROUP BY %1, outcome")
            .arg(factNames(), YieldSummaries::checkoutsAsHours(QStringLiteral("1 = 1"))),
        QStringLiteral("INSERT INTO yield_steps (%1, step, failures) "
                       "SELECT %1, step, sum(failures) FROM (%2) AS c GROUP BY %1, step")
            .arg(factNames(), YieldSummaries::checkoutsAsSteps(QStringLiteral("1 = 1"))),
        QStringLiteral("INSERT INTO yield_durations (%1, duration_ms, checkouts) "
                       "SELECT %1, duration_ms, sum(checkouts) FROM (%2) AS c "
                       "GROUP BY %1, duration_ms")
            .arg(factNames(true), YieldSummaries::checkoutsAsDurations(QStringLiteral("1 = 1"))),
        QStringLiteral("INSERT INTO yield_readers (serial, checkouts) SELECT serial, count(*) "
                       "FROM checkouts WHERE serial IS NOT NULL AND outcome <> 'aborted' "
                       "GROUP BY serial"),
    };
    for (Dimension dimension : Dimensions)
        statements.append(
            QStringLiteral("INSERT INTO yield_chains (dimension, hour, member, passed, prev_hour, "
                           "prev_passed, prev2_hour, checkouts) "
                           "SELECT '%1', hour, member, passed, prev_hour, prev_passed, prev2_hour, "
                           "sum(checkouts) FROM (%2) AS c GROUP BY hour, member, passed, "
                           "prev_hour, prev_passed, prev2_hour")
                .arg(YieldSummaries::dimensionName(dimension),
                     YieldSummaries::checkoutsAsChains(YieldSummaries::memberExpression(dimension),
                                                       QStringLiteral("1 = 1"))));
    return statements;
}

// One checkout in a chain, as its neighbours see it.
struct Link
{
    QString started;
    QString id;
    bool passed = false;

    QString hour() const { return started.left(13); }
    bool operator<(const Link &other) const
    {
        return std::tie(started, id) < std::tie(other.started, other.id);
    }
};

struct ChainKey
{
    QString dimension;
    QString hour;
    QString member;
    int passed = 0;
    QString prevHour;
    int prevPassed = 0;
    QString prev2Hour;

    bool operator<(const ChainKey &other) const
    {
        return std::tie(dimension, hour, member, passed, prevHour, prevPassed, prev2Hour) <
               std::tie(other.dimension, other.hour, other.member, other.passed, other.prevHour,
                        other.prevPassed, other.prev2Hour);
    }
};

// A checkout of the chain with its previous two (nearest first; either may be missing).
ChainKey keyOf(const QString &dimension, const QString &member, const Link &link,
               const Link *previous, const Link *beforePrevious)
{
    return {dimension,
            link.hour(),
            member,
            link.passed ? 1 : 0,
            previous ? previous->hour() : QString(QLatin1String("")),
            previous && previous->passed ? 1 : 0,
            beforePrevious ? beforePrevious->hour() : QString(QLatin1String(""))};
}

// The neighbours of a checkout in each chain: up to two before it and two after it (a checkout
// that arrives late, from an outbox, has later ones), nearest first.
struct Neighbours
{
    std::array<QList<Link>, Dimensions.size()> before;
    std::array<QList<Link>, Dimensions.size()> after;
};

bool findNeighbours(RecordsDatabase &database, const ReaderRecord &record, const QString &started,
                    Neighbours &neighbours)
{
    QStringList parts;
    QVariantList values;
    for (std::size_t index = 0; index < Dimensions.size(); ++index) {
        const Dimension dimension = Dimensions[index];
        for (const bool after : {false, true}) {
            const QString member = dimension == Dimension::All
                                       ? QString()
                                       : QStringLiteral(" AND %1 = ?")
                                             .arg(YieldSummaries::memberExpression(dimension));
            parts.append(QStringLiteral("SELECT %1 AS dimension, %2 AS side, id, started, outcome "
                                        "FROM (SELECT id, started, outcome FROM checkouts "
                                        "WHERE serial = ? AND outcome <> 'aborted'%3 AND "
                                        "(started %4 ? OR (started = ? AND id %4 ?)) "
                                        "ORDER BY started %5, id %5 LIMIT 2) AS n%1_%2")
                             .arg(index)
                             .arg(after ? 1 : 0)
                             .arg(member, after ? QStringLiteral(">") : QStringLiteral("<"),
                                  after ? QStringLiteral("ASC") : QStringLiteral("DESC")));
            values.append(*record.serialNumber);
            if (dimension != Dimension::All)
                values.append(memberOf(dimension, record));
            values << started << started << record.id;
        }
    }
    QSqlQuery *lookup = database.prepared(parts.join(QLatin1String(" UNION ALL ")));
    if (!lookup)
        return false;
    QSqlQuery &query = *lookup;
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!database.exec(query))
        return false;
    while (query.next()) {
        const auto index = std::size_t(query.value(0).toInt());
        if (index >= Dimensions.size())
            continue;
        const Link link{query.value(3).toString(), query.value(2).toString(),
                        query.value(4).toString() == QLatin1String("pass")};
        (query.value(1).toInt() == 1 ? neighbours.after : neighbours.before)[index].append(link);
    }
    query.finish();
    for (std::size_t index = 0; index < Dimensions.size(); ++index) {
        std::sort(neighbours.before[index].begin(), neighbours.before[index].end(),
                  [](const Link &a, const Link &b) { return b < a; });
        std::sort(neighbours.after[index].begin(), neighbours.after[index].end());
    }
    return true;
}

// Runs one upsert of several rows: "INSERT INTO table (columns) VALUES (...), (...) " + tail,
// each row its values.
bool upsertRows(RecordsDatabase &database, const QString &head, const QString &tail,
                const QList<QVariantList> &rows)
{
    if (rows.isEmpty())
        return true;
    QStringList placeholders;
    for (const QVariantList &row : rows) {
        QStringList marks(row.size(), QStringLiteral("?"));
        placeholders.append(QLatin1Char('(') + marks.join(QLatin1String(", ")) + QLatin1Char(')'));
    }
    QSqlQuery *query =
        database.prepared(head + QStringLiteral(" VALUES ") +
                          placeholders.join(QLatin1String(", ")) + QLatin1Char(' ') + tail);
    if (!query)
        return false;
    for (const QVariantList &row : rows) {
        for (const QVariant &value : row)
            query->addBindValue(value);
    }
    return database.exec(*query);
}

bool addToChains(RecordsDatabase &database, const ReaderRecord &record)
{
    // Taking the reader's row first makes a second transaction storing a checkout of the same
    // reader wait until this one is committed, and then see it among the neighbours.
    if (!upsertRows(database, QStringLiteral("INSERT INTO yield_readers (serial, checkouts)"),
                    QStringLiteral("ON CONFLICT (serial) DO UPDATE SET "
                                   "checkouts = yield_readers.checkouts + excluded.checkouts"),
                    {{*record.serialNumber, 1}}))
        return false;

    const QString started = isoUtc(record.started);
    Neighbours neighbours;
    if (!findNeighbours(database, record, started, neighbours))
        return false;
    const Link self{started, record.id, record.outcome == ReaderOutcome::Pass};
    QMap<ChainKey, int> changes;
    for (std::size_t index = 0; index < Dimensions.size(); ++index) {
        const QString dimension = YieldSummaries::dimensionName(Dimensions[index]);
        const QString member = memberOf(Dimensions[index], record);
        const QList<Link> &before = neighbours.before[index];
        const QList<Link> &after = neighbours.after[index];
        const Link *previous = before.size() > 0 ? &before[0] : nullptr;
        const Link *beforePrevious = before.size() > 1 ? &before[1] : nullptr;
        changes[keyOf(dimension, member, self, previous, beforePrevious)] += 1;
        // A checkout stored late comes between others: the next two now have it behind them.
        if (after.size() > 0) {
            changes[keyOf(dimension, member, after[0], previous, beforePrevious)] -= 1;
            changes[keyOf(dimension, member, after[0], &self, previous)] += 1;
        }
        if (after.size() > 1) {
            changes[keyOf(dimension, member, after[1], &after[0], previous)] -= 1;
            changes[keyOf(dimension, member, after[1], &after[0], &self)] += 1;
        }
    }
    // In key order, as every other transaction takes them: two stores never wait for each
    // other in a circle.
    QList<QVariantList> rows;
    for (auto change = changes.cbegin(); change != changes.cend(); ++change) {
        if (change.value() == 0)
            continue;
        const ChainKey &key = change.key();
        rows.append({key.dimension, key.hour, key.member, key.passed, key.prevHour, key.prevPassed,
                     key.prev2Hour, change.value()});
    }
    return upsertRows(
        database,
        QStringLiteral("INSERT INTO yield_chains (dimension, hour, member, passed, prev_hour, "
                       "prev_passed, prev2_hour, checkouts)"),
        QStringLiteral("ON CONFLICT (dimension, hour, member, passed, prev_hour, prev_passed, "
                       "prev2_hour) DO UPDATE SET checkouts = yield_chains.checkouts + "
                       "excluded.checkouts"),
        rows);
}

} // namespace

namespace YieldSummaries {

QString hourOf(const QDateTime &time)
{
    return isoUtc(time).left(13);
}

QString dimensionName(Dimension dimension)
{
    switch (dimension) {
    case Dimension::All:
        return QStringLiteral("");
    case Dimension::Station:
        return QStringLiteral("station");
    case Dimension::Model:
        return QStringLiteral("model");
    case Dimension::Firmware:
        return QStringLiteral("firmware");
    case Dimension::Lot:
        return QStringLiteral("lot");
    case Dimension::Operator:
        return QStringLiteral("operator");
    }
    return {};
}

QString memberExpression(Dimension dimension)
{
    if (dimension == Dimension::All)
        return QStringLiteral("''");
    if (dimension == Dimension::Firmware)
        return QStringLiteral("COALESCE(CAST(firmware AS TEXT), '')");
    return dimensionName(dimension);
}

QString checkoutsAsHours(const QString &condition)
{
    return QStringLiteral("SELECT %1, outcome, 1 AS checkouts FROM checkouts WHERE %2")
        .arg(factColumns(), condition);
}

QString checkoutsAsSteps(const QString &condition)
{
    // failed_steps holds the names separated by single spaces.
    return QStringLiteral("SELECT %1, step, 1 AS failures FROM checkouts JOIN (%2) AS step_names "
                          "ON (' ' || failed_steps || ' ') LIKE ('% ' || step || ' %') "
                          "WHERE serial IS NOT NULL AND (%3)")
        .arg(factColumns(), stepNames(), condition);
}

QString checkoutsAsDurations(const QString &condition)
{
    return QStringLiteral("SELECT %1, (duration_ms + 5) / 10 * 10 AS duration_ms, 1 AS checkouts "
                          "FROM checkouts WHERE serial IS NOT NULL AND outcome <> 'aborted' "
                          "AND (%2)")
        .arg(factColumns(true), condition);
}

QString checkoutsAsChains(const QString &member, const QString &condition)
{
    return QStringLiteral(
               "SELECT hour, member, passed, "
               "COALESCE(substr(LAG(started, 1) OVER w, 1, 13), '') AS prev_hour, "
               "COALESCE(LAG(passed, 1) OVER w, 0) AS prev_passed, "
               "COALESCE(substr(LAG(started, 2) OVER w, 1, 13), '') AS prev2_hour, "
               "1 AS checkouts "
               "FROM (SELECT id, serial, started, substr(started, 1, 13) AS hour, %1 AS member, "
               "CASE WHEN outcome = 'pass' THEN 1 ELSE 0 END AS passed FROM checkouts "
               "WHERE serial IS NOT NULL AND outcome <> 'aborted' AND (%2)) AS linked "
               "WINDOW w AS (PARTITION BY serial, member ORDER BY started, id)")
        .arg(member, condition);
}

QStringList schemaStep()
{
    const QString facts = QStringLiteral("station TEXT NOT NULL, model VARCHAR(16) NOT NULL, "
                                         "firmware VARCHAR(8) NOT NULL, lot TEXT NOT NULL, "
                                         "operator TEXT NOT NULL, ");
    // A reader's first checkout of a day: its previous one lies on an earlier day, before
    // "2026-12-07T". Hours compare as text of one format, which every collation orders by
    // time.
    const QString firstOfDay = QStringLiteral("prev_hour < substr(hour, 1, 11)");
    QStringList statements{
        // Keyed hour and outcome first: a report reads an hour's outcomes together.
        QStringLiteral("CREATE TABLE IF NOT EXISTS yield_hours (hour VARCHAR(13) NOT NULL, "
                       "outcome VARCHAR(16) NOT NULL, %1checkouts INTEGER NOT NULL, "
                       "PRIMARY KEY (hour, outcome, station, model, firmware, lot, operator))")
            .arg(facts),
        QStringLiteral("CREATE TABLE IF NOT EXISTS yield_steps (hour VARCHAR(13) NOT NULL, "
                       "%1step VARCHAR(32) NOT NULL, failures INTEGER NOT NULL, "
                       "PRIMARY KEY (%2, step))")
            .arg(facts, factNames()),
        // By day: the durations spread over many values, and hours would make them many rows.
        QStringLiteral("CREATE TABLE IF NOT EXISTS yield_durations (day VARCHAR(10) NOT NULL, "
                       "%1duration_ms INTEGER NOT NULL, checkouts INTEGER NOT NULL, "
                       "PRIMARY KEY (%2, duration_ms))")
            .arg(facts, factNames(true)),
        QStringLiteral("CREATE TABLE IF NOT EXISTS yield_readers (serial INTEGER PRIMARY KEY, "
                       "checkouts INTEGER NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS yield_chains ("
                       "dimension VARCHAR(16) NOT NULL, hour VARCHAR(13) NOT NULL, "
                       "member TEXT NOT NULL, passed INTEGER NOT NULL, "
                       "prev_hour VARCHAR(13) NOT NULL, prev_passed INTEGER NOT NULL, "
                       "prev2_hour VARCHAR(13) NOT NULL, checkouts INTEGER NOT NULL, "
                       "PRIMARY KEY (dimension, hour, member, passed, prev_hour, prev_passed, "
                       "prev2_hour))"),
        QStringLiteral(
            "CREATE VIEW vorn_yield_by_day AS "
            "SELECT h.day AS day, h.station AS station, h.checkouts AS checkouts, "
            "COALESCE(c.readers, 0) AS readers, "
            "CAST(c.first_passed AS DOUBLE PRECISION) / NULLIF(c.readers, 0) AS first_pass_yield, "
            "CAST(c.final_passed AS DOUBLE PRECISION) / NULLIF(c.readers, 0) AS final_yield "
            "FROM (SELECT substr(hour, 1, 10) AS day, station, sum(checkouts) AS checkouts "
            "FROM yield_hours GROUP BY substr(hour, 1, 10), station) AS h "
            "LEFT JOIN (SELECT substr(hour, 1, 10) AS day, member AS station, "
            "sum(CASE WHEN %1 THEN checkouts ELSE 0 END) AS readers, "
            "sum(CASE WHEN %1 THEN passed * checkouts ELSE 0 END) AS first_passed, "
            "sum(CASE WHEN %1 THEN passed * checkouts "
            "ELSE (passed - prev_passed) * checkouts END) AS final_passed "
            "FROM yield_chains WHERE dimension = 'station' "
            "GROUP BY substr(hour, 1, 10), member) AS c "
            "ON c.day = h.day AND c.station = h.station")
            .arg(firstOfDay),
        QStringLiteral("CREATE VIEW vorn_step_failures AS "
                       "SELECT substr(hour, 1, 10) AS day, station, step, "
                       "sum(failures) AS failures FROM yield_steps "
                       "GROUP BY substr(hour, 1, 10), station, step"),
    };
    return statements + fillStatements();
}

bool add(RecordsDatabase &database, const ReaderRecord &record)
{
    const QString hour = hourOf(record.started);
    const QVariantList facts{hour,
                             text(record.station),
                             text(record.modelName()),
                             firmwareText(record),
                             text(record.lot),
                             text(record.operatorName)};
    const QString names = factNames();
    if (!upsertRows(database,
                    QStringLiteral("INSERT INTO yield_hours (%1, outcome, checkouts)").arg(names),
                    QStringLiteral("ON CONFLICT (hour, outcome, station, model, firmware, lot, "
                                   "operator) DO UPDATE SET "
                                   "checkouts = yield_hours.checkouts + excluded.checkouts"),
                    {facts + QVariantList{outcomeName(record.outcome), 1}}))
        return false;
    // A reader that never identified counts in the checkouts and their outcomes alone.
    if (!record.serialNumber)
        return true;

    QStringList failed = record.failedSteps();
    failed.sort();
    failed.removeDuplicates();
    QList<QVariantList> steps;
    for (const QString &step : std::as_const(failed))
        steps.append(facts + QVariantList{step, 1});
    if (!upsertRows(database,
                    QStringLiteral("INSERT INTO yield_steps (%1, step, failures)").arg(names),
                    QStringLiteral("ON CONFLICT (%1, step) DO UPDATE SET "
                                   "failures = yield_steps.failures + excluded.failures")
                        .arg(names),
                    steps))
        return false;
    // An aborted checkout tells nothing of the reader's yield or of how long a checkout takes.
    if (record.outcome == ReaderOutcome::Aborted)
        return true;
    QVariantList dayFacts = facts;
    dayFacts.first() = hour.left(10);
    if (!upsertRows(database,
                    QStringLiteral("INSERT INTO yield_durations (%1, duration_ms, checkouts)")
                        .arg(factNames(true)),
                    QStringLiteral("ON CONFLICT (%1, duration_ms) DO UPDATE SET "
                                   "checkouts = yield_durations.checkouts + excluded.checkouts")
                        .arg(factNames(true)),
                    {dayFacts + QVariantList{(record.durationMs + 5) / 10 * 10, 1}}))
        return false;
    return addToChains(database, record);
}

bool rebuild(RecordsDatabase &database)
{
    return database.transaction([&database] {
        QStringList statements;
        for (const char *table :
             {"yield_hours", "yield_steps", "yield_durations", "yield_readers", "yield_chains"})
            statements.append(QStringLiteral("DELETE FROM ") + QLatin1String(table));
        statements += fillStatements();
        for (const QString &statement : std::as_const(statements)) {
            QSqlQuery query = database.prepare(statement);
            if (!database.exec(query))
                return false;
        }
        return true;
    });
}

} // namespace YieldSummaries
