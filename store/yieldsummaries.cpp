#include "store/yieldsummaries.h"

#include "checkout/stepcatalogue.h"
#include "store/recordsdatabase.h"
#include "store/schemamigration.h"

#include <QMap>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <array>
#include <optional>
#include <tuple>

namespace {

using YieldSummaries::Dimension;

constexpr std::array<Dimension, 6> Dimensions{Dimension::All,   Dimension::Station,
                                              Dimension::Model, Dimension::Firmware,
                                              Dimension::Lot,   Dimension::Operator};

// The facts a checkout is counted by, as columns of the checkouts table: its hour (or day),
// station, model, firmware (as text), lot and operator. (Made when asked for: the schema is
// built while the program's constants are being initialised.)
QString factColumns(int timeLength, const QString &timeName)
{
    return QStringLiteral("substr(started, 1, %1) AS %2, station, model, "
                          "COALESCE(CAST(firmware AS TEXT), '') AS firmware, lot, operator")
        .arg(timeLength)
        .arg(timeName);
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
    case Dimension::Plan:
        return text(record.plan.name);
    }
    return {};
}

// Each failed step (fail or error) of a checkout beside it, its name in the column "step": once
// for a checkout, as add() counts it, though a plan may run a step twice and it fail both
// times.
QString failedStepsJoin()
{
    return QStringLiteral("JOIN (SELECT DISTINCT record_id, step FROM checkout_steps "
                          "WHERE outcome IN ('fail', 'error')) AS failed "
                          "ON failed.record_id = checkouts.id");
}

// Durations to the nearest 10 ms.
QString roundedDuration()
{
    return QStringLiteral("(duration_ms + 5) / 10 * 10");
}

// The column of a fact in the checkouts table (and in the tables that count by all facts).
QString factColumn(Dimension dimension)
{
    return dimension == Dimension::All ? QStringLiteral("''")
                                       : YieldSummaries::dimensionName(dimension);
}

QStringList fillAdditive(const QString &table, const QString &time, const QString &value,
                         const QString &count, QStringList statements);

// Fills an additive summary: the checkouts counted once by every fact into a temporary table,
// and from that the rows of each dimension.
QStringList fillAdditive(const QString &table, const QString &time, const QString &value,
                         const QString &count, const QString &counted)
{
    return fillAdditive(table, time, value, count,
                        QStringList{SchemaMigration::overEveryCheckout(
                            QStringLiteral("CREATE TEMPORARY TABLE yield_fill AS ") + counted)});
}

// The same, the temporary table made by the statements given (one for each backend).
QStringList fillAdditive(const QString &table, const QString &time, const QString &value,
                         const QString &count, QStringList statements)
{
    for (const Dimension dimension : Dimensions) {
        const QString member = factColumn(dimension);
        const QString by = dimension == Dimension::All ? QString() : member + QStringLiteral(", ");
        statements.append(
            QStringLiteral("INSERT INTO %1 (dimension, member, %2, %3, %4) "
                           "SELECT '%5', %6, %2, %3, sum(n) FROM yield_fill GROUP BY %7%2, %3")
                .arg(table, time, value, count, YieldSummaries::dimensionName(dimension), member,
                     by));
    }
    statements.append(QStringLiteral("DROP TABLE yield_fill"));
    return statements;
}

// Statements that fill the failures per step from the steps table (they must find it empty).
QStringList fillStepFailures()
{
    return fillAdditive(QStringLiteral("yield_steps"), QStringLiteral("hour"),
                        QStringLiteral("step"), QStringLiteral("failures"),
                        QStringLiteral("SELECT %1, step, count(*) AS n FROM checkouts %2 "
                                       "GROUP BY %3")
                            .arg(factColumns(13, QStringLiteral("hour")), failedStepsJoin(),
                                 QStringLiteral("1, 2, 3, 4, 5, 6, 7")));
}

// Each reader's first attempt ever, among the checkouts that meet condition (on the first
// one: its window and facts), with facts (columns of that checkout) and the reader's first pass:
// pass_hour, the moment it passed (full, "" when it never did), and attempt, how many attempts
// it had made by then (0 when it never passed). Two checkouts of one moment are ordered by id.
// The first pass is looked for among the reader's own checkouts, the outcome tested inside the
// aggregate: asked as "outcome = 'pass'", SQLite seeks it by the outcome's index, among every
// pass of the line, for each reader (a line's month took longer than 10 minutes instead of 4 s).
QString firstCheckouts(const QString &facts, const QString &condition)
{
    const QString attempt = YieldSummaries::isAttempt();
    return QStringLiteral(
               "SELECT *, CASE WHEN pass_hour = '' THEN 0 ELSE "
               "(SELECT count(*) FROM checkouts a WHERE a.serial = passes.reader AND a.%1 AND "
               "a.started <= passes.pass_hour) END AS attempt "
               "FROM (SELECT f.serial AS reader, %2, COALESCE((SELECT min(CASE WHEN p.outcome = "
               "'pass' THEN p.started END) FROM checkouts p WHERE p.serial = f.serial), '') "
               "AS pass_hour "
               "FROM checkouts f WHERE f.serial IS NOT NULL AND f.%1 AND (%3) AND NOT EXISTS "
               "(SELECT 1 FROM checkouts e WHERE e.serial = f.serial AND e.%1 AND "
               "(e.started < f.started OR (e.started = f.started AND e.id < f.id)))) AS passes")
        .arg(attempt, facts, condition);
}

// Statements that fill the summaries but the failures per step from the checkouts table
// (which they must find empty).
QStringList fillStatements()
{
    const QString facts = QStringLiteral("1, 2, 3, 4, 5, 6, 7");
    QStringList statements =
        fillAdditive(QStringLiteral("yield_hours"), QStringLiteral("hour"),
                     QStringLiteral("outcome"), QStringLiteral("checkouts"),
                     QStringLiteral("SELECT %1, outcome, count(*) AS n FROM checkouts "
                                    "GROUP BY %2")
                         .arg(factColumns(13, QStringLiteral("hour")), facts)) +
        fillAdditive(QStringLiteral("yield_durations"), QStringLiteral("day"),
                     QStringLiteral("duration_ms"), QStringLiteral("checkouts"),
                     QStringLiteral("SELECT %1, %2 AS duration_ms, count(*) AS n FROM checkouts "
                                    "WHERE serial IS NOT NULL AND %3 GROUP BY %4")
                         .arg(factColumns(10, QStringLiteral("day")), roundedDuration(),
                              YieldSummaries::isAttempt(), facts));
    for (Dimension dimension : Dimensions)
        statements.append(SchemaMigration::overEveryCheckout(
            QStringLiteral("INSERT INTO yield_chains (dimension, hour, member, passed, prev_hour, "
                           "prev_passed, prev2_hour, checkouts) "
                           "SELECT '%1', hour, member, passed, prev_hour, prev_passed, prev2_hour, "
                           "sum(checkouts) FROM (%2) AS c GROUP BY hour, member, passed, "
                           "prev_hour, prev_passed, prev2_hour")
                .arg(YieldSummaries::dimensionName(dimension),
                     YieldSummaries::checkoutsAsChains(YieldSummaries::memberExpression(dimension),
                                                       QStringLiteral("1 = 1")))));
    return statements;
}

// Each reader once, in the facts of its first attempt ever (the columns of factColumns(13,
// "hour")), with attempt and pass_hour as firstCheckouts() gives them, in one pass over the
// checkouts sorted by reader and time: a reader's attempts numbered in order (the first is
// numbered 1, two of one moment ordered by id), each with how many of the reader's attempts
// began by its moment (those of the very moment of the first pass count as before it).
QString readersByFirstAttempt()
{
    const QStringList facts{QStringLiteral("hour"),  QStringLiteral("station"),
                            QStringLiteral("model"), QStringLiteral("firmware"),
                            QStringLiteral("lot"),   QStringLiteral("operator")};
    QStringList firstFacts;
    for (const QString &fact : facts)
        firstFacts.append(QStringLiteral("max(CASE WHEN nth = 1 THEN %1 END) AS %1").arg(fact));
    return QStringLiteral(
               "SELECT %1, COALESCE(min(CASE WHEN outcome = 'pass' THEN upto END), 0) AS attempt, "
               "COALESCE(min(CASE WHEN outcome = 'pass' THEN started END), '') AS pass_hour "
               "FROM (SELECT serial, started, outcome, %2, "
               "row_number() OVER (PARTITION BY serial ORDER BY started, id) AS nth, "
               "count(*) OVER (PARTITION BY serial ORDER BY started) AS upto "
               "FROM checkouts WHERE serial IS NOT NULL AND %3) AS attempts GROUP BY serial")
        .arg(firstFacts.join(QLatin1String(", ")), factColumns(13, QStringLiteral("hour")),
             YieldSummaries::isAttempt());
}

// Statements that fill yield_firsts from the checkouts table (which they must find empty).
// The readers come from the same question asked two ways: PostgreSQL plans the lookups of
// firstCheckouts() as a hash anti-join on the serial number whose time comparison filters the
// pairs of every two checkouts of a reader (a month of a line took longer than 15 minutes),
// and sorts the checkouts once for the windows instead (seconds); SQLite seeks each lookup in
// the index on (serial, started), four times quicker than its three sorts for the windows.
QStringList fillFirsts()
{
    using Kind = RecordsLocation::Kind;
    const QString counted =
        QStringLiteral("CREATE TEMPORARY TABLE yield_fill AS "
                       "SELECT hour, station, model, firmware, lot, operator, attempt, "
                       "substr(pass_hour, 1, 13) AS pass_hour, count(*) AS n FROM (%1) AS firsts "
                       "GROUP BY 1, 2, 3, 4, 5, 6, 7, 8");
    return fillAdditive(
        QStringLiteral("yield_firsts"), QStringLiteral("hour"),
        QStringLiteral("attempt, pass_hour"), QStringLiteral("readers"),
        QStringList{RecordsDatabase::onlyOn(
                        Kind::Sqlite,
                        SchemaMigration::overEveryCheckout(counted.arg(firstCheckouts(
                            factColumns(13, QStringLiteral("hour")), QStringLiteral("1 = 1"))))),
                    RecordsDatabase::onlyOn(
                        Kind::PostgreSql,
                        SchemaMigration::overEveryCheckout(counted.arg(readersByFirstAttempt())))});
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

// How many of a reader's checkouts on either side of a new one are read to find its neighbours.
constexpr int NearbyCheckouts = 32;
// The rows of yield_locks.
constexpr int LockSlots = 1024;

// The neighbours of a checkout in each chain: up to two before it and two after it (a checkout
// that arrives late, from an outbox, has later ones), nearest first.
struct Neighbours
{
    std::array<QList<Link>, Dimensions.size()> before;
    std::array<QList<Link>, Dimensions.size()> after;
};

// The reader's checkouts on one side of this one (after it, or before), nearest first: limit of
// them with the facts the chains follow, or two of one member of a dimension.
QString sideStatement(bool after, std::optional<Dimension> within)
{
    const QString member =
        within ? QStringLiteral(" AND %1 = ?").arg(YieldSummaries::memberExpression(*within))
               : QString();
    const QString facts =
        within ? QString()
               : QStringLiteral(", station, model, COALESCE(CAST(firmware AS TEXT), ''), lot, "
                                "operator");
    return QStringLiteral("SELECT %1 AS side, id, started, outcome%2 FROM checkouts "
                          "WHERE serial = ? AND %7%3 AND "
                          "(started %4 ? OR (started = ? AND id %4 ?)) "
                          "ORDER BY started %5, id %5 LIMIT %6")
        .arg(after ? 1 : 0)
        .arg(facts, member, after ? QStringLiteral(">") : QStringLiteral("<"),
             after ? QStringLiteral("ASC") : QStringLiteral("DESC"))
        .arg(within ? 2 : NearbyCheckouts)
        .arg(YieldSummaries::isAttempt());
}

Link linkOf(const QSqlQuery &query)
{
    return {query.value(2).toString(), query.value(1).toString(),
            query.value(3).toString() == QLatin1String("pass")};
}

// One look at the reader's checkouts on either side of this one finds its neighbours in every
// chain at once. A chain whose neighbours lie further off than that look reached (a reader
// checked many times elsewhere in between) is looked up on its own.
bool findNeighbours(RecordsDatabase &database, const ReaderRecord &record, const QString &started,
                    Neighbours &neighbours)
{
    const QVariantList position{started, started, record.id};
    QSqlQuery *nearby = database.prepared(
        QStringLiteral("SELECT * FROM (%1) AS before_it UNION ALL SELECT * FROM (%2) AS after_it")
            .arg(sideStatement(false, std::nullopt), sideStatement(true, std::nullopt)));
    if (!nearby)
        return false;
    for (int side = 0; side < 2; ++side) {
        nearby->addBindValue(*record.serialNumber);
        for (const QVariant &value : position)
            nearby->addBindValue(value);
    }
    if (!database.exec(*nearby))
        return false;
    struct Nearby
    {
        Link link;
        std::array<QString, Dimensions.size()> members;
    };
    std::array<QList<Nearby>, 2> sides;
    while (nearby->next()) {
        Nearby each{linkOf(*nearby), {}};
        for (std::size_t index = 1; index < Dimensions.size(); ++index)
            each.members[index] = nearby->value(int(index) + 3).toString();
        sides[nearby->value(0).toInt() == 1 ? 1 : 0].append(each);
    }
    nearby->finish();
    std::sort(sides[0].begin(), sides[0].end(),
              [](const Nearby &a, const Nearby &b) { return b.link < a.link; });
    std::sort(sides[1].begin(), sides[1].end(),
              [](const Nearby &a, const Nearby &b) { return a.link < b.link; });

    for (std::size_t index = 0; index < Dimensions.size(); ++index) {
        const QString member = memberOf(Dimensions[index], record);
        for (const bool after : {false, true}) {
            QList<Link> &links = (after ? neighbours.after : neighbours.before)[index];
            const QList<Nearby> &side = sides[after ? 1 : 0];
            for (const Nearby &each : side) {
                if (links.size() < 2 && (index == 0 || each.members[index] == member))
                    links.append(each.link);
            }
            if (links.size() == 2 || side.size() < NearbyCheckouts)
                continue;
            links.clear();
            QSqlQuery *further = database.prepared(sideStatement(after, Dimensions[index]));
            if (!further)
                return false;
            further->addBindValue(*record.serialNumber);
            further->addBindValue(member);
            for (const QVariant &value : position)
                further->addBindValue(value);
            if (!database.exec(*further))
                return false;
            while (further->next())
                links.append(linkOf(*further));
            further->finish();
        }
    }
    return true;
}

// An upsert of several rows: "INSERT INTO table (columns) VALUES (...), (...) " + tail, each
// row its values.
struct Upsert
{
    QString head;
    QString tail;
    QList<QVariantList> rows;

    QString text() const
    {
        QStringList placeholders;
        for (const QVariantList &row : rows) {
            const QStringList marks(row.size(), QStringLiteral("?"));
            placeholders.append(QLatin1Char('(') + marks.join(QLatin1String(", ")) +
                                QLatin1Char(')'));
        }
        return head + QStringLiteral(" VALUES ") + placeholders.join(QLatin1String(", ")) +
               QLatin1Char(' ') + tail;
    }
};

// Runs upserts in the order given. PostgreSQL runs them as one statement (each a data-modifying
// WITH query, run in the order written), so that the rows they change are held for one round
// trip, not one per table; SQLite, which lets one writer in at a time, runs them one by one.
// With atCommit, the transaction's last changes: on PostgreSQL they go with its commit.
bool runUpserts(RecordsDatabase &database, const QList<Upsert> &upserts, bool atCommit = false)
{
    QStringList texts;
    QVariantList values;
    const bool together = database.location().kind == RecordsLocation::Kind::PostgreSql;
    for (const Upsert &upsert : upserts) {
        if (upsert.rows.isEmpty())
            continue;
        QVariantList mine;
        for (const QVariantList &row : upsert.rows)
            mine += row;
        if (together) {
            texts.append(QStringLiteral("u%1 AS (%2)").arg(texts.size()).arg(upsert.text()));
            values += mine;
            continue;
        }
        QSqlQuery *query = database.prepared(upsert.text());
        if (!query)
            return false;
        for (const QVariant &value : std::as_const(mine))
            query->addBindValue(value);
        if (!database.exec(*query))
            return false;
    }
    if (texts.isEmpty())
        return true;
    QSqlQuery *query = database.prepared(QStringLiteral("WITH ") + texts.join(QLatin1String(", ")) +
                                         QStringLiteral(" SELECT 1"));
    if (!query)
        return false;
    for (const QVariant &value : std::as_const(values))
        query->addBindValue(value);
    return atCommit ? database.execWithCommit(*query) : database.exec(*query);
}

bool upsertRows(RecordsDatabase &database, const QString &head, const QString &tail,
                const QList<QVariantList> &rows)
{
    return runUpserts(database, {Upsert{head, tail, rows}});
}

bool chainRows(RecordsDatabase &database, const ReaderRecord &record, QList<QVariantList> &rows)
{
    // Taking the reader's lock first makes a second transaction storing a checkout of the same
    // reader (or of one sharing its lock) wait until this one is committed, and then see it
    // among the neighbours. (SQLite lets one writer in at a time anyway.)
    if (!upsertRows(database, QStringLiteral("INSERT INTO yield_locks (slot, stores)"),
                    QStringLiteral("ON CONFLICT (slot) DO UPDATE SET "
                                   "stores = yield_locks.stores + excluded.stores"),
                    {{*record.serialNumber % LockSlots, 1}}))
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
        const Link *previous = !before.isEmpty() ? &before[0] : nullptr;
        const Link *beforePrevious = before.size() > 1 ? &before[1] : nullptr;
        changes[keyOf(dimension, member, self, previous, beforePrevious)] += 1;
        // A checkout stored late comes between others: the next two now have it behind them.
        if (!after.isEmpty()) {
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
    for (auto change = changes.cbegin(); change != changes.cend(); ++change) {
        if (change.value() == 0)
            continue;
        const ChainKey &key = change.key();
        rows.append({key.dimension, key.hour, key.member, key.passed, key.prevHour, key.prevPassed,
                     key.prev2Hour, change.value()});
    }
    return true;
}

// A reader's place in yield_firsts: the facts of its first attempt and its first pass.
struct FirstAttempt
{
    Link first;
    std::array<QString, Dimensions.size()> members;
    int attempt = 0;  // of the first pass; 0 before it passed
    QString passHour; // "" before it passed
};

// The reader's place as its attempts (in time order) give it; nothing without attempts.
std::optional<FirstAttempt> firstAttemptOf(const QList<FirstAttempt> &attempts)
{
    if (attempts.isEmpty())
        return std::nullopt;
    FirstAttempt reader = attempts.first();
    const auto pass = std::find_if(attempts.cbegin(), attempts.cend(),
                                   [](const FirstAttempt &each) { return each.first.passed; });
    if (pass == attempts.cend())
        return reader;
    reader.passHour = pass->first.hour();
    // Attempts of the very moment of the first pass count as before it, as in the statements
    // that fill the summary.
    reader.attempt = int(std::count_if(attempts.cbegin(), attempts.cend(), [&](const auto &each) {
        return each.first.started <= pass->first.started;
    }));
    return reader;
}

// Moves the reader in yield_firsts as the checkout just stored changes its first attempt or its
// first pass (a late record may do both), from the reader's attempts: what a rebuild counts.
bool firstRows(RecordsDatabase &database, const ReaderRecord &record, QList<QVariantList> &rows)
{
    QSqlQuery *query = database.prepared(
        QStringLiteral("SELECT 0, id, started, outcome, station, model, "
                       "COALESCE(CAST(firmware AS TEXT), ''), lot, operator FROM checkouts "
                       "WHERE serial = ? AND %1 ORDER BY started, id")
            .arg(YieldSummaries::isAttempt()));
    if (!query)
        return false;
    query->addBindValue(*record.serialNumber);
    if (!database.exec(*query))
        return false;
    QList<FirstAttempt> withIt;
    QList<FirstAttempt> before;
    while (query->next()) {
        FirstAttempt each{linkOf(*query), {}, 0, QStringLiteral("")};
        each.members[0] = QStringLiteral(""); // every checkout's member of the whole line
        for (std::size_t index = 1; index < Dimensions.size(); ++index)
            each.members[index] = query->value(int(index) + 3).toString();
        withIt.append(each);
        if (each.first.id != record.id)
            before.append(each);
    }
    query->finish();
    using Key = std::tuple<QString, QString, QString, int, QString>; // as the primary key
    QMap<Key, int> changes;
    for (const auto &[reader, change] :
         {std::pair{firstAttemptOf(before), -1}, std::pair{firstAttemptOf(withIt), 1}}) {
        for (std::size_t index = 0; reader && index < Dimensions.size(); ++index)
            changes[{YieldSummaries::dimensionName(Dimensions[index]), reader->first.hour(),
                     reader->members[index], reader->attempt, reader->passHour}] += change;
    }
    for (auto change = changes.cbegin(); change != changes.cend(); ++change) {
        const auto &[dimension, hour, member, attempt, passHour] = change.key();
        if (change.value() != 0)
            rows.append({dimension, member, hour, attempt, passHour, change.value()});
    }
    return true;
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
    case Dimension::Plan:
        return QStringLiteral("plan_name");
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

QString checkoutsAsHours(const QString &member, const QString &condition)
{
    return QStringLiteral("SELECT %1 AS member, substr(started, 1, 13) AS hour, outcome, "
                          "1 AS checkouts FROM checkouts WHERE %2")
        .arg(member, condition);
}

QString checkoutsAsSteps(const QString &member, const QString &condition)
{
    return QStringLiteral("SELECT %1 AS member, substr(started, 1, 13) AS hour, step, "
                          "1 AS failures FROM checkouts %2 WHERE (%3)")
        .arg(member, failedStepsJoin(), condition);
}

QString checkoutsAsDurations(const QString &member, const QString &condition)
{
    return QStringLiteral("SELECT %1 AS member, substr(started, 1, 10) AS day, "
                          "%2 AS duration_ms, 1 AS checkouts FROM checkouts "
                          "WHERE serial IS NOT NULL AND %3 AND (%4)")
        .arg(member, roundedDuration(), isAttempt(), condition);
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
               "WHERE serial IS NOT NULL AND %3 AND (%2)) AS linked "
               "WINDOW w AS (PARTITION BY serial, member ORDER BY started, id)")
        .arg(member, condition, isAttempt());
}

QStringList stepFailuresStep()
{
    return QStringList{QStringLiteral("DELETE FROM yield_steps")} + fillStepFailures();
}

QStringList schemaStep()
{
    // A reader's first checkout of a day: its previous one lies on an earlier day, before
    // "2026-12-07T". Hours compare as text of one format, which every collation orders by
    // time.
    const QString firstOfDay = QStringLiteral("prev_hour < substr(hour, 1, 11)");
    const QString partition =
        QStringLiteral("dimension VARCHAR(16) NOT NULL, member TEXT NOT NULL, ");
    QStringList statements{
        QStringLiteral("CREATE TABLE IF NOT EXISTS yield_hours (%1hour VARCHAR(13) NOT NULL, "
                       "outcome VARCHAR(16) NOT NULL, checkouts INTEGER NOT NULL, "
                       "PRIMARY KEY (dimension, hour, member, outcome))")
            .arg(partition),
        QStringLiteral("CREATE TABLE IF NOT EXISTS yield_steps (%1hour VARCHAR(13) NOT NULL, "
                       "step VARCHAR(32) NOT NULL, failures INTEGER NOT NULL, "
                       "PRIMARY KEY (dimension, hour, member, step))")
            .arg(partition),
        // By day: the durations spread over many values, and hours would make them many rows.
        QStringLiteral("CREATE TABLE IF NOT EXISTS yield_durations (%1day VARCHAR(10) NOT NULL, "
                       "duration_ms INTEGER NOT NULL, checkouts INTEGER NOT NULL, "
                       "PRIMARY KEY (dimension, day, member, duration_ms))")
            .arg(partition),
        QStringLiteral("CREATE TABLE IF NOT EXISTS yield_chains (%1hour VARCHAR(13) NOT NULL, "
                       "passed INTEGER NOT NULL, prev_hour VARCHAR(13) NOT NULL, "
                       "prev_passed INTEGER NOT NULL, prev2_hour VARCHAR(13) NOT NULL, "
                       "checkouts INTEGER NOT NULL, "
                       "PRIMARY KEY (dimension, hour, member, passed, prev_hour, prev_passed, "
                       "prev2_hour))")
            .arg(partition),
        // The readers' locks, a serial number's the row of its remainder: a few rows that stay
        // in the cache, where a row per reader would write a page far from the last one.
        QStringLiteral("CREATE TABLE IF NOT EXISTS yield_locks (slot INTEGER PRIMARY KEY, "
                       "stores INTEGER NOT NULL)"),
        QStringLiteral(
            "CREATE VIEW vorn_yield_by_day AS "
            "SELECT h.day AS day, h.station AS station, h.checkouts AS checkouts, "
            "COALESCE(c.readers, 0) AS readers, "
            "CAST(c.first_passed AS DOUBLE PRECISION) / NULLIF(c.readers, 0) AS first_pass_yield, "
            "CAST(c.final_passed AS DOUBLE PRECISION) / NULLIF(c.readers, 0) AS final_yield "
            "FROM (SELECT substr(hour, 1, 10) AS day, member AS station, "
            "sum(checkouts) AS checkouts FROM yield_hours WHERE dimension = 'station' "
            "GROUP BY substr(hour, 1, 10), member) AS h "
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
                       "SELECT substr(hour, 1, 10) AS day, member AS station, step, "
                       "sum(failures) AS failures FROM yield_steps WHERE dimension = 'station' "
                       "GROUP BY substr(hour, 1, 10), member, step"),
    };
    return statements + fillStatements();
}

QStringList firstsStep()
{
    // The first-pass yield of a day and station: of the readers first checked there that day,
    // those that passed on their first attempt.
    return QStringList{
               QStringLiteral(
                   "CREATE TABLE IF NOT EXISTS yield_firsts (dimension VARCHAR(16) NOT NULL, "
                   "member TEXT NOT NULL, hour VARCHAR(13) NOT NULL, attempt INTEGER NOT NULL, "
                   "pass_hour VARCHAR(13) NOT NULL, readers INTEGER NOT NULL, "
                   "PRIMARY KEY (dimension, hour, member, attempt, pass_hour))"),
               QStringLiteral("DROP VIEW vorn_yield_by_day"),
               QStringLiteral(
                   "CREATE VIEW vorn_yield_by_day AS "
                   "SELECT h.day AS day, h.station AS station, h.checkouts AS checkouts, "
                   "COALESCE(c.readers, 0) AS readers, "
                   "CAST(f.first_passed AS DOUBLE PRECISION) / NULLIF(f.readers, 0) "
                   "AS first_pass_yield, "
                   "CAST(c.final_passed AS DOUBLE PRECISION) / NULLIF(c.readers, 0) "
                   "AS final_yield, COALESCE(f.readers, 0) AS first_checked_readers "
                   "FROM (SELECT substr(hour, 1, 10) AS day, member AS station, "
                   "sum(checkouts) AS checkouts FROM yield_hours WHERE dimension = 'station' "
                   "GROUP BY substr(hour, 1, 10), member) AS h "
                   "LEFT JOIN (SELECT substr(hour, 1, 10) AS day, member AS station, "
                   "sum(CASE WHEN %1 THEN checkouts ELSE 0 END) AS readers, "
                   "sum(CASE WHEN %1 THEN passed * checkouts "
                   "ELSE (passed - prev_passed) * checkouts END) AS final_passed "
                   "FROM yield_chains WHERE dimension = 'station' "
                   "GROUP BY substr(hour, 1, 10), member) AS c "
                   "ON c.day = h.day AND c.station = h.station "
                   "LEFT JOIN (SELECT substr(hour, 1, 10) AS day, member AS station, "
                   "sum(readers) AS readers, "
                   "sum(CASE WHEN attempt = 1 THEN readers ELSE 0 END) AS first_passed "
                   "FROM yield_firsts WHERE dimension = 'station' "
                   "GROUP BY substr(hour, 1, 10), member) AS f "
                   "ON f.day = h.day AND f.station = h.station")
                   .arg(QStringLiteral("prev_hour < substr(hour, 1, 11)")),
           } +
           fillFirsts();
}

QString isAttempt()
{
    return QStringLiteral("outcome IN ('pass', 'fail', 'error')");
}

QString checkoutsAsFirsts(const QString &member, const QString &condition)
{
    return QStringLiteral("SELECT member, hour, attempt, pass_hour, 1 AS readers FROM (%1) AS f")
        .arg(firstCheckouts(
            QStringLiteral("%1 AS member, substr(started, 1, 13) AS hour").arg(member), condition));
}

bool add(RecordsDatabase &database, const ReaderRecord &record)
{
    // Every checkout of the line adds to the same few rows (the whole line's hour, its day's
    // durations): each store holds them from its first change to its commit, and the others
    // wait. So what must be read (the reader's other checkouts) is read first, and the rows are
    // changed last, in one statement sent with the commit on PostgreSQL: a factory's stores
    // then wait on each other for that statement and the commit's flush only, never for a
    // round trip to a station that the network or a busy PC delays.
    // A row for each dimension, in the order of the dimensions: every store takes the rows of
    // a table in the same order, so two stores never wait for each other in a circle.
    const QString hour = hourOf(record.started);
    QList<QVariantList> hours;
    for (const Dimension dimension : Dimensions)
        hours.append({dimensionName(dimension), memberOf(dimension, record), hour,
                      outcomeName(record.outcome), 1});
    QStringList failed = record.failedSteps();
    failed.sort();
    failed.removeDuplicates();
    QList<QVariantList> steps;
    for (const Dimension dimension : Dimensions) {
        for (const QString &step : std::as_const(failed))
            steps.append({dimensionName(dimension), memberOf(dimension, record), hour, step, 1});
    }
    // A reader that never identified counts in the checkouts, their outcomes and the steps
    // that failed (a port that did not open, an identification without a reply) alone: it has
    // no serial number to be a reader of the yields by. An aborted or refused checkout tells
    // nothing of the reader's yield or of how long a checkout takes.
    const bool attempt = record.serialNumber && isAttempt(record.outcome);
    QList<QVariantList> durations;
    QList<QVariantList> chains;
    QList<QVariantList> firsts;
    if (attempt) {
        for (const Dimension dimension : Dimensions)
            durations.append({dimensionName(dimension), memberOf(dimension, record), hour.left(10),
                              (record.durationMs + 5) / 10 * 10, 1});
        if (!chainRows(database, record, chains) || !firstRows(database, record, firsts))
            return false;
    }
    return runUpserts(
        database,
        {{QStringLiteral("INSERT INTO yield_hours (dimension, member, hour, outcome, checkouts)"),
          QStringLiteral("ON CONFLICT (dimension, hour, member, outcome) DO UPDATE SET "
                         "checkouts = yield_hours.checkouts + excluded.checkouts"),
          hours},
         {QStringLiteral("INSERT INTO yield_steps (dimension, member, hour, step, failures)"),
          QStringLiteral("ON CONFLICT (dimension, hour, member, step) DO UPDATE SET "
                         "failures = yield_steps.failures + excluded.failures"),
          steps},
         {QStringLiteral("INSERT INTO yield_durations (dimension, member, day, duration_ms, "
                         "checkouts)"),
          QStringLiteral("ON CONFLICT (dimension, day, member, duration_ms) DO UPDATE SET "
                         "checkouts = yield_durations.checkouts + excluded.checkouts"),
          durations},
         {QStringLiteral("INSERT INTO yield_chains (dimension, hour, member, passed, prev_hour, "
                         "prev_passed, prev2_hour, checkouts)"),
          QStringLiteral("ON CONFLICT (dimension, hour, member, passed, prev_hour, prev_passed, "
                         "prev2_hour) DO UPDATE SET checkouts = yield_chains.checkouts + "
                         "excluded.checkouts"),
          chains},
         {QStringLiteral("INSERT INTO yield_firsts (dimension, member, hour, attempt, pass_hour, "
                         "readers)"),
          QStringLiteral("ON CONFLICT (dimension, hour, member, attempt, pass_hour) DO UPDATE "
                         "SET readers = yield_firsts.readers + excluded.readers"),
          firsts}},
        true);
}

bool rebuild(RecordsDatabase &database)
{
    return database.transaction([&database] {
        QStringList statements;
        for (const char *table :
             {"yield_hours", "yield_steps", "yield_durations", "yield_chains", "yield_firsts"})
            statements.append(QStringLiteral("DELETE FROM ") + QLatin1String(table));
        statements += fillStatements() + fillStepFailures() + fillFirsts();
        const RecordsLocation::Kind kind = database.location().kind;
        return std::all_of(statements.cbegin(), statements.cend(), [&](const QString &each) {
            return !SchemaMigration::runsOn(kind, each) || database.runFixed(each);
        });
    });
}

} // namespace YieldSummaries
