#include "store/recordsdatabase.h"

#include "store/libpqdriver.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <utility>

namespace {

// How long an SQLite writer waits for another one (four stations may write one file at once;
// a record takes milliseconds).
const QString SqliteOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000");
// A server that does not answer must not hold up the end of a checkout for long: its records
// then go to the outbox.
constexpr int PostgreSqlConnectSeconds = 5;

// The checkouts from which an SQLite file keeps statistics of its indexes.
constexpr qint64 StatisticsFrom = 10'000;

// How a refusal for want of a free connection reads (saysFull() looks for it).
const QString FullServer = QStringLiteral("is full (all its connections are taken)");

QString firstLine(const QString &text)
{
    return text.section(QLatin1Char('\n'), 0, 0).trimmed();
}

// libpq tries each address of a host name in turn (localhost: ::1, then 127.0.0.1) and says
// what each attempt met, one after the other. A server that listens on one of them only is
// refused on the others: what the one it reached said is the reason, not the first refusal.
QString postgreSqlReason(const QString &text)
{
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("connection to server at")) &&
            !line.contains(QLatin1String("connection refused"), Qt::CaseInsensitive))
            return line.trimmed();
    }
    return firstLine(text);
}

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("vorn-records-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

RecordsDatabase::RecordsDatabase(RecordsLocation location)
    : m_location(std::move(location)), m_connectionName(nextConnectionName())
{
}

RecordsDatabase::~RecordsDatabase()
{
    m_prepared.clear();
    if (!m_database.isValid())
        return;
    m_database.close();
    m_database = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool RecordsDatabase::open(const Migrations &migrations, OpenMode mode)
{
    m_open = false;
    m_missing = false;
    const bool sqlite = m_location.kind == RecordsLocation::Kind::Sqlite;
    if (m_location.isNone())
        return fail(QStringLiteral("no records location"));
    if (!(sqlite ? openSqlite(mode) : openPostgreSql(mode)))
        return false;

    m_migration.reset();
    const std::optional<int> version = schemaVersion();
    if (!version)
        return false;
    // A database without the records tables holds nothing to read; only a checkout makes them.
    if (*version == 0 && mode != OpenMode::CreateIfMissing)
        return missing();
    const auto known = int(migrations.size());
    if (*version > known)
        return fail(QStringLiteral("%1 holds records in schema version %2, newer than this "
                                   "vornctl knows (%3); it was left as it is: use a newer vornctl")
                        .arg(m_location.description())
                        .arg(*version)
                        .arg(known));
    // A durable commit: once a record is reported stored, a power cut does not take it back.
    // The write-ahead log lets readers and several writers share the file.
    if (sqlite && mode != OpenMode::ReadOnly &&
        (!runFixed(QStringLiteral("PRAGMA journal_mode=WAL")) ||
         !runFixed(QStringLiteral("PRAGMA synchronous=FULL"))))
        return false;
    if (*version < known && !bringUpToDate(migrations, *version, mode))
        return false;
    if (sqlite && mode != OpenMode::ReadOnly && !keepSqliteStatistics())
        return false;
    m_open = true;
    m_error.clear();
    return true;
}

bool RecordsDatabase::keepSqliteStatistics()
{
    // SQLite chooses among the checkouts' indexes by what it knows of them. Without statistics
    // it may read a station's every checkout through the station's index to find the few
    // without a serial number, or every pass through the outcome's: reports over a line's month
    // then take seconds. A sample of each index (a few milliseconds, even for a million
    // checkouts) tells a serial number from a station; it is taken when a file of many
    // checkouts has none, and again when the checkouts have grown tenfold since. Outboxes and
    // small files are left alone: most opens only read two numbers.
    if (!m_database.tables().contains(QStringLiteral("checkouts")))
        return true;
    QSqlQuery sizes = prepare(QStringLiteral(
        "SELECT (SELECT max(rowid) FROM checkouts), "
        "(SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'sqlite_stat1')"));
    if (!exec(sizes) || !sizes.next())
        return false;
    const qint64 checkouts = sizes.value(0).toLongLong();
    const bool kept = sizes.value(1).toInt() > 0;
    sizes.finish();
    if (checkouts < StatisticsFrom)
        return true;
    qint64 counted = 0;
    if (kept) {
        QSqlQuery stat = prepare(QStringLiteral(
            "SELECT max(CAST(substr(stat, 1, instr(stat || ' ', ' ') - 1) AS INTEGER)) "
            "FROM sqlite_stat1 WHERE tbl = 'checkouts'"));
        if (!exec(stat) || !stat.next())
            return false;
        counted = stat.value(0).toLongLong();
    }
    if (counted * 10 > checkouts)
        return true;
    return runFixed(QStringLiteral("PRAGMA analysis_limit = 400")) &&
           runFixed(QStringLiteral("ANALYZE"));
}

bool RecordsDatabase::missing()
{
    m_missing = true;
    return fail(QStringLiteral("no records at %1")
                    .arg(m_location.kind == RecordsLocation::Kind::Sqlite ? m_location.path
                                                                          : m_location.url()));
}

bool RecordsDatabase::checkSqliteFile(OpenMode mode)
{
    const QFileInfo file(m_location.path);
    const QString folder = file.absolutePath();
    if (mode != OpenMode::CreateIfMissing) {
        if (!file.exists())
            return missing();
        if (!file.isFile())
            return fail(QStringLiteral("%1 is not a file").arg(m_location.path));
        if (mode == OpenMode::ReadOnly)
            return file.isReadable()
                       ? true
                       : fail(QStringLiteral("%1 is not readable").arg(m_location.description()));
    } else if (!QDir().mkpath(folder)) {
        return fail(QStringLiteral("cannot make the folder %1 for %2")
                        .arg(folder, m_location.description()));
    }
    if (file.exists() && !file.isFile())
        return fail(QStringLiteral("%1 is not a file").arg(m_location.path));
    if (file.exists() && !file.isWritable())
        return fail(QStringLiteral("%1 is not writable").arg(m_location.description()));
    // The write-ahead log and its index are files next to the database.
    if (!QFileInfo(folder).isWritable())
        return fail(QStringLiteral("the folder %1 is not writable, so %2 cannot be written")
                        .arg(folder, m_location.description()));
    return true;
}

bool RecordsDatabase::openSqlite(OpenMode mode)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return fail(QStringLiteral("Qt SQL has no SQLite driver (Debian package "
                                   "libqt6sql6-sqlite)"));
    if (!checkSqliteFile(mode))
        return false;
    m_database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    switch (mode) {
    case OpenMode::CreateIfMissing:
        m_database.setDatabaseName(m_location.path);
        m_database.setConnectOptions(SqliteOptions);
        break;
    case OpenMode::ExistingOnly: {
        // Read and write, but never create: a file removed since it was looked at stays
        // removed instead of coming back empty.
        QUrl uri = QUrl::fromLocalFile(m_location.path);
        uri.setQuery(QStringLiteral("mode=rw"));
        m_database.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        m_database.setConnectOptions(SqliteOptions + QStringLiteral(";QSQLITE_OPEN_URI"));
        break;
    }
    case OpenMode::ReadOnly:
        m_database.setDatabaseName(m_location.path);
        m_database.setConnectOptions(SqliteOptions + QStringLiteral(";QSQLITE_OPEN_READONLY"));
        break;
    }
    if (!m_database.open())
        return fail(m_database.lastError());
    // The first read of the file: one that is not an SQLite database fails here, before
    // anything is written to it.
    return runFixed(QStringLiteral("SELECT count(*) FROM sqlite_master"));
}

bool RecordsDatabase::openPostgreSql(OpenMode mode)
{
    // Through libpq alone, so that a transaction pool in front of the server (pgbouncer) serves
    // every statement (LibpqDriver says why Qt's own driver is not used).
    QMap<QString, QString> parameters{
        {QStringLiteral("host"), m_location.host},
        {QStringLiteral("port"), QString::number(m_location.port)},
        {QStringLiteral("dbname"), m_location.database},
        {QStringLiteral("connect_timeout"), QString::number(PostgreSqlConnectSeconds)},
    };
    // No password: the client library takes it from PGPASSWORD or ~/.pgpass.
    if (!m_location.user.isEmpty())
        parameters.insert(QStringLiteral("user"), m_location.user);
    if (!m_location.sslMode.isEmpty())
        parameters.insert(QStringLiteral("sslmode"), m_location.sslMode);
    if (!m_location.sslRootCertificate.isEmpty())
        parameters.insert(QStringLiteral("sslrootcert"), m_location.sslRootCertificate);
    // A reader that must never write: the server itself refuses any write it is sent.
    auto *driver = new LibpqDriver(parameters, mode == OpenMode::ReadOnly ? LibpqDriver::ReadOnly
                                                                          : LibpqDriver::ReadWrite);
    m_database = QSqlDatabase::addDatabase(driver, m_connectionName);
    if (!m_database.open())
        return fail(m_database.lastError());
    // A hot standby (a factory's reports read from one) can be read, never written: its schema
    // is what its primary's is.
    QSqlQuery recovery = prepare(QStringLiteral("SELECT pg_is_in_recovery()"));
    if (!exec(recovery) || !recovery.next())
        return false;
    m_standby = recovery.value(0).toBool();
    return true;
}

std::optional<RecordsDatabase::Replay> RecordsDatabase::replay()
{
    if (!m_standby)
        return std::nullopt;
    QSqlQuery query = prepare(
        QStringLiteral("SELECT to_char(pg_last_xact_replay_timestamp() AT TIME ZONE 'UTC', "
                       "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), "
                       "pg_last_wal_receive_lsn() IS DISTINCT FROM pg_last_wal_replay_lsn()"));
    if (!exec(query) || !query.next())
        return std::nullopt;
    return Replay{QDateTime::fromString(query.value(0).toString(), Qt::ISODateWithMs),
                  query.value(1).toBool()};
}

bool RecordsDatabase::runFixed(const QString &statement)
{
    // Fixed text without values: schema statements and SQLite's settings, which PostgreSQL
    // does not prepare.
    QSqlQuery query(m_database);
    if (!query.exec(statement))
        return fail(query.lastError());
    return true;
}

std::optional<int> RecordsDatabase::schemaVersion()
{
    if (!m_database.tables().contains(QStringLiteral("records_schema")))
        return 0;
    QSqlQuery query = prepare(QStringLiteral("SELECT version FROM records_schema WHERE id = 1"));
    if (!exec(query))
        return std::nullopt;
    return query.next() ? query.value(0).toInt() : 0;
}

void RecordsDatabase::allowLongMigration(SchemaMigration::Watcher watcher)
{
    m_longMigrationAllowed = true;
    m_migrationWatcher = std::move(watcher);
}

bool RecordsDatabase::bringUpToDate(const Migrations &migrations, int version, OpenMode mode)
{
    SchemaMigration migration(*this, migrations);
    m_migration = migration.plan(version);
    if (!m_migration)
        return false;
    const bool unasked = m_migration->isLong() && !m_longMigrationAllowed;
    if (unasked || mode == OpenMode::ReadOnly || m_standby) {
        // Reading an older schema would need its tables as they were; bringing them up to
        // date is a write this reader never makes.
        const QString how =
            m_standby ? QStringLiteral("this server is a standby: its primary is brought up to "
                                       "date ('vornctl records migrate' there), and it follows")
            : unasked ? QStringLiteral("they need 'vornctl records migrate' first")
                      : QStringLiteral("a checkout or 'vornctl records list' brings them up to "
                                       "date");
        return fail(QStringLiteral("%1 holds records in schema version %2, older than this "
                                   "program reads (%3); it was left as it is: %4 (%5)")
                        .arg(m_location.description())
                        .arg(version)
                        .arg(migrations.size())
                        .arg(how, m_migration->summary()));
    }
    return migration.run(m_migrationWatcher);
}

namespace {

QString backendMark(RecordsLocation::Kind kind)
{
    return kind == RecordsLocation::Kind::Sqlite ? QStringLiteral("-- sqlite only\n")
                                                 : QStringLiteral("-- postgresql only\n");
}

} // namespace

QString RecordsDatabase::onlyOn(RecordsLocation::Kind kind, const QString &statement)
{
    return backendMark(kind) + statement;
}

QSqlQuery RecordsDatabase::prepare(const QString &statement)
{
    QSqlQuery query(m_database);
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        fail(query.lastError());
    return query;
}

QSqlQuery *RecordsDatabase::prepared(const QString &statement)
{
    if (const auto kept = m_prepared.find(statement); kept != m_prepared.end())
        return &kept->second;
    QSqlQuery query(m_database);
    query.setForwardOnly(true);
    if (!query.prepare(statement)) {
        fail(query.lastError());
        return nullptr;
    }
    return &m_prepared.emplace(statement, std::move(query)).first->second;
}

bool RecordsDatabase::exec(QSqlQuery &query)
{
    if (!query.exec())
        return fail(query.lastError());
    return true;
}

bool RecordsDatabase::execWithCommit(QSqlQuery &query)
{
    if (auto *postgreSql = qobject_cast<LibpqDriver *>(m_database.driver()))
        postgreSql->deferNextToCommit();
    return exec(query);
}

std::optional<QMap<QString, int>> RecordsDatabase::countsByDestination(const QString &table)
{
    QSqlQuery query = prepare(
        QStringLiteral("SELECT destination, count(*) FROM %1 GROUP BY destination").arg(table));
    if (!exec(query))
        return std::nullopt;
    QMap<QString, int> counts;
    while (query.next())
        counts.insert(query.value(0).toString(), query.value(1).toInt());
    if (!readToTheEnd(query))
        return std::nullopt;
    return counts;
}

bool RecordsDatabase::readToTheEnd(const QSqlQuery &query)
{
    return !query.lastError().isValid() || fail(query.lastError());
}

bool RecordsDatabase::transaction(const std::function<bool()> &work)
{
    if (!m_database.transaction())
        return fail(m_database.lastError());
    if (work() && m_database.commit())
        return true;
    if (m_database.lastError().isValid())
        fail(m_database.lastError());
    m_database.rollback();
    return false;
}

bool RecordsDatabase::fail(const QString &text)
{
    m_error = text;
    return false;
}

bool RecordsDatabase::fail(const QSqlError &error)
{
    return fail(words(error));
}

QString RecordsDatabase::words(const QSqlError &error) const
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    if (m_location.kind == RecordsLocation::Kind::PostgreSql)
        return postgreSqlWords(postgreSqlReason(text));
    const QString reason = firstLine(text);
    const QString lower = reason.toLower();
    if (lower.contains(QLatin1String("not a database")))
        return QStringLiteral("%1 is not an SQLite database; it was left as it is")
            .arg(m_location.path);
    if (lower.contains(QLatin1String("readonly")))
        return QStringLiteral("%1 is not writable").arg(m_location.description());
    if (lower.contains(QLatin1String("locked")) || lower.contains(QLatin1String("busy")))
        return QStringLiteral("%1 stayed busy: another program keeps writing it")
            .arg(m_location.description());
    return QStringLiteral("%1: %2").arg(m_location.description(), reason);
}

bool RecordsDatabase::saysFull(const QString &errorText)
{
    return errorText.contains(FullServer);
}

QString RecordsDatabase::postgreSqlWords(const QString &reason) const
{
    const QString lower = reason.toLower();
    const QString server =
        QStringLiteral("the PostgreSQL server %1:%2").arg(m_location.host).arg(m_location.port);
    const auto has = [&lower](const char *words) { return lower.contains(QLatin1String(words)); };
    if (has("password authentication failed") || has("no password supplied") ||
        has("authentication failed"))
        return QStringLiteral("authentication failed at %1 for user %2 (the password comes "
                              "from PGPASSWORD or ~/.pgpass)")
            .arg(server,
                 m_location.user.isEmpty() ? QStringLiteral("(login name)") : m_location.user);
    // The server's connections are all taken (or a pooler's clients): the records wait, and
    // the next checkout, or the next try, finds one free.
    if (has("too many clients") || has("remaining connection slots are reserved") ||
        has("no more connections allowed"))
        return QStringLiteral("%1 %2: the records wait until one is free").arg(server, FullServer);
    if (has("read-only transaction") || has("during recovery"))
        return QStringLiteral("%1 only reads here (a standby, or a reader's connection): nothing "
                              "was written; write to its primary")
            .arg(server);
    if (has("connection refused"))
        return QStringLiteral("%1 refused the connection: is it running on that port?").arg(server);
    if (has("database \"") && has("does not exist"))
        return QStringLiteral("%1 has no database %2").arg(server, m_location.database);
    if (has("role \"") && has("does not exist"))
        return QStringLiteral("%1 knows no user %2").arg(server, m_location.user);
    if (has("no pg_hba.conf entry"))
        return QStringLiteral("%1 does not let this user in from here (%2)").arg(server, reason);
    if (has("could not translate host name"))
        return QStringLiteral("the host name %1 is not known").arg(m_location.host);
    if (has("timeout expired") || has("no route to host") || has("unreachable"))
        return QStringLiteral("%1 cannot be reached (%2)").arg(server, reason);
    if (has("lock timeout"))
        return QStringLiteral("%1 kept the records locked: another program is migrating them")
            .arg(server);
    if (has("server closed the connection") || has("terminating connection") ||
        has("no connection to the server"))
        return QStringLiteral("the connection to %1 was lost").arg(server);
    // libpq refuses a server it was told to verify and cannot: never a plain connection instead.
    if (has("certificate") || has("ssl") || has("root cert"))
        return QStringLiteral("%1 could not be verified, so nothing was sent to it (%2)")
            .arg(server, reason);
    return QStringLiteral("%1: %2").arg(server, reason);
}

sqlite3 *RecordsDatabase::sqliteHandle() const
{
    if (m_location.kind != RecordsLocation::Kind::Sqlite || !m_database.isOpen())
        return nullptr;
    const QVariant handle = m_database.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}
