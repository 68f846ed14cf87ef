#include "store/schemamigration.h"

#include "store/recordsdatabase.h"

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>

namespace {

// (Made when asked for: the schema that holds them is built while the program's constants are
// being initialised.)
QString stepMark()
{
    return QStringLiteral("-- step: ");
}

QString everyCheckoutMark()
{
    return QStringLiteral("-- over every checkout\n");
}

// Several stations may meet an old schema at once: a station that loses a race on creating the
// tables tries again and then finds them made.
constexpr int Attempts = 5;
// What a statement over every checkout costs per checkout, as measured on a line's month
// (bench/run records); and any other statement, a schema change, as a moment.
constexpr double SqliteSecondsPerCheckout = 1e-5;
constexpr double PostgreSqlSecondsPerCheckout = 1e-5;
constexpr double SecondsPerSchemaStatement = 0.01;
// How long PostgreSQL waits for what a migration running elsewhere holds until it is done (the
// version row, the checkouts it changes) before this one gives up and says so; and waiting
// as long as it takes, for the steps themselves.
const QString LockTimeout = QStringLiteral("SET LOCAL lock_timeout = '2s'");
const QString NoLockTimeout = QStringLiteral("SET LOCAL lock_timeout = 0");

bool isMark(const QString &statement)
{
    return statement.startsWith(stepMark());
}

bool isOverEveryCheckout(const QString &statement)
{
    // The mark may follow a backend's (RecordsDatabase::onlyOn()).
    return statement.contains(everyCheckoutMark());
}

double secondsPerCheckout(RecordsLocation::Kind kind)
{
    return kind == RecordsLocation::Kind::Sqlite ? SqliteSecondsPerCheckout
                                                 : PostgreSqlSecondsPerCheckout;
}

QString duration(double seconds)
{
    if (seconds < 1)
        return QStringLiteral("under a second");
    if (seconds < 90)
        return QStringLiteral("about %1 s").arg(std::lround(seconds));
    return QStringLiteral("about %1 min").arg(std::lround(seconds / 60));
}

} // namespace

bool SchemaMigration::Plan::isLong() const
{
    return checkouts > LongAbove;
}

QString SchemaMigration::Plan::summary() const
{
    int overCheckouts = 0;
    for (const Stage &stage : stages)
        overCheckouts += stage.overEveryCheckout > 0 ? 1 : 0;
    QString text = QStringLiteral("schema version %1 to %2").arg(from).arg(to);
    if (overCheckouts > 0)
        text += QStringLiteral(", %1 of %2 steps over %3 checkouts")
                    .arg(overCheckouts)
                    .arg(stages.size())
                    .arg(checkouts);
    return text + QStringLiteral(", ") + duration(estimatedSeconds);
}

QString SchemaMigration::named(const QString &name)
{
    return stepMark() + name;
}

QString SchemaMigration::overEveryCheckout(const QString &statement)
{
    return everyCheckoutMark() + statement;
}

bool SchemaMigration::runsOn(RecordsLocation::Kind kind, const QString &statement)
{
    if (isMark(statement))
        return false;
    const QString other = RecordsDatabase::onlyOn(kind == RecordsLocation::Kind::Sqlite
                                                      ? RecordsLocation::Kind::PostgreSql
                                                      : RecordsLocation::Kind::Sqlite,
                                                  QString());
    return !statement.startsWith(other);
}

SchemaMigration::SchemaMigration(RecordsDatabase &database, const Steps &steps)
    : m_database(database), m_migrations(steps)
{
}

std::optional<SchemaMigration::Plan> SchemaMigration::plan(int from)
{
    std::optional<Plan> plan;
    const bool postgreSql = m_database.location().kind == RecordsLocation::Kind::PostgreSql;
    m_database.transaction([&] {
        if (postgreSql && !m_database.runFixed(LockTimeout))
            return false;
        plan = planFrom(from);
        return plan.has_value();
    });
    return plan;
}

std::optional<SchemaMigration::Plan> SchemaMigration::planFrom(int from)
{
    const RecordsLocation::Kind kind = m_database.location().kind;
    Plan plan;
    plan.from = from;
    plan.to = int(m_migrations.size());
    bool readsCheckouts = false;
    for (int step = from; step < plan.to; ++step) {
        Stage stage{step + 1, QStringLiteral("schema step %1").arg(step + 1), 0, 0};
        for (const QString &statement : m_migrations.at(step)) {
            if (isMark(statement))
                stage.name = statement.mid(stepMark().size());
            if (!runsOn(kind, statement))
                continue;
            ++stage.statements;
            stage.overEveryCheckout += isOverEveryCheckout(statement) ? 1 : 0;
        }
        readsCheckouts = readsCheckouts || stage.overEveryCheckout > 0;
        plan.stages.append(stage);
    }
    // The first step makes the checkouts table: before it there is nothing to read.
    if (readsCheckouts && from > 0) {
        const std::optional<qint64> checkouts = countCheckouts();
        if (!checkouts)
            return std::nullopt;
        plan.checkouts = *checkouts;
    }
    for (const Stage &stage : std::as_const(plan.stages))
        plan.estimatedSeconds +=
            stage.overEveryCheckout * double(plan.checkouts) * secondsPerCheckout(kind) +
            (stage.statements - stage.overEveryCheckout) * SecondsPerSchemaStatement;
    return plan;
}

std::optional<qint64> SchemaMigration::countCheckouts()
{
    QSqlQuery query = m_database.prepare(QStringLiteral("SELECT count(*) FROM checkouts"));
    if (!m_database.exec(query) || !query.next())
        return std::nullopt;
    return query.value(0).toLongLong();
}

bool SchemaMigration::run(const Watcher &watcher)
{
    const bool postgreSql = m_database.location().kind == RecordsLocation::Kind::PostgreSql;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        const bool done = m_database.transaction([&] {
            if (!m_database.runFixed(QStringLiteral("CREATE TABLE IF NOT EXISTS records_schema "
                                                    "(id INTEGER PRIMARY KEY, version INTEGER "
                                                    "NOT NULL)")))
                return false;
            // Each migration takes the version row's lock first, so that the steps run once:
            // another one waits here, then finds the schema up to date.
            QSqlQuery claim = m_database.prepare(QStringLiteral(
                "INSERT INTO records_schema (id, version) VALUES (1, 0) ON CONFLICT (id) DO "
                "NOTHING"));
            QSqlQuery lock = m_database.prepare(
                QStringLiteral("UPDATE records_schema SET version = version WHERE id = 1"));
            if ((postgreSql && !m_database.runFixed(LockTimeout)) || !m_database.exec(claim) ||
                !m_database.exec(lock) || (postgreSql && !m_database.runFixed(NoLockTimeout)))
                return false;
            const std::optional<int> version = m_database.schemaVersion();
            if (!version || *version > m_migrations.size())
                return false;
            const std::optional<Plan> plan = planFrom(*version);
            if (!plan || !runSteps(*version, *plan, watcher))
                return false;
            QSqlQuery bump = m_database.prepare(
                QStringLiteral("UPDATE records_schema SET version = ? WHERE id = 1"));
            bump.addBindValue(int(m_migrations.size()));
            return m_database.exec(bump);
        });
        if (done)
            return true;
    }
    return false;
}

bool SchemaMigration::runSteps(int version, const Plan &plan, const Watcher &watcher)
{
    const RecordsLocation::Kind kind = m_database.location().kind;
    const double perCheckout = double(plan.checkouts) * secondsPerCheckout(kind);
    const double total = std::max(plan.estimatedSeconds, SecondsPerSchemaStatement);
    double done = 0;
    QElapsedTimer stageTime;
    for (qsizetype index = 0; index < plan.stages.size(); ++index) {
        const Stage &stage = plan.stages.at(index);
        Progress progress{int(index) + 1, int(plan.stages.size()), stage.name, done / total, {}};
        if (watcher)
            watcher(progress);
        stageTime.start();
        for (const QString &statement : m_migrations.at(version + index)) {
            if (!runsOn(kind, statement))
                continue;
            if (!m_database.runFixed(statement))
                return false;
            done += isOverEveryCheckout(statement) ? perCheckout : SecondsPerSchemaStatement;
            progress.done = std::min(done / total, 1.0);
            if (watcher)
                watcher(progress);
        }
        progress.stageMilliseconds = stageTime.elapsed();
        if (watcher)
            watcher(progress);
    }
    return true;
}
