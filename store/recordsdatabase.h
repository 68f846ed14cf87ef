#pragma once

#include "store/recordslocation.h"
#include "store/schemamigration.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>

class QSqlError;
class QSqlQuery;

struct sqlite3;

// One connection to a records database, an SQLite file or a PostgreSQL database, through Qt
// SQL. Both run the same statements; only the connection's set-up differs. Opening brings the
// schema to the version this program knows, in one transaction, and refuses a database whose
// schema is newer, without writing to it.
class RecordsDatabase
{
public:
    // A schema as its steps: step N takes the database from version N-1 to version N. Only
    // statements both SQLite and PostgreSQL understand, but those onlyOn() marks.
    using Migrations = QList<QStringList>;
    // A statement of a step that only one backend runs: where the two speak differently (their
    // JSON functions), a step holds one for each.
    static QString onlyOn(RecordsLocation::Kind kind, const QString &statement);

    // What opening may do to a database that is not there or not up to date.
    enum class OpenMode
    {
        // A checkout: makes the folder, the file and the tables when they are missing.
        CreateIfMissing,
        // Reading commands: the records must already be there (an SQLite file, the tables in
        // a PostgreSQL database); nothing is made, but an older schema is brought up to date.
        ExistingOnly,
        // A reader that must never write: nothing is made, migrated or written, and a schema
        // older than this program's is refused rather than brought up to date. (SQLite still
        // keeps its readers' index files beside a file in write-ahead-log mode; they hold no
        // records.)
        ReadOnly,
    };

    explicit RecordsDatabase(RecordsLocation location);
    ~RecordsDatabase();
    RecordsDatabase(const RecordsDatabase &) = delete;
    RecordsDatabase &operator=(const RecordsDatabase &) = delete;

    // False with the reason in errorText(): file not writable, not an SQLite database, a newer
    // schema, server refused, authentication failed, (unless mode creates) no records there,
    // or a migration too long to start unasked (see SchemaMigration).
    bool open(const Migrations &migrations, OpenMode mode = OpenMode::CreateIfMissing);
    // Lets the next open() run a long migration, telling watcher how far it got: what
    // `vornctl records migrate` does.
    void allowLongMigration(SchemaMigration::Watcher watcher);
    // What open() found the schema to need (or, when allowed, did to it); nothing when it was
    // up to date or could not be read.
    const std::optional<SchemaMigration::Plan> &migration() const { return m_migration; }
    bool isOpen() const { return m_open; }
    // After a failed open: the records were not there at all (no file, no tables), which a
    // reader may take as "nothing kept yet" rather than as a fault.
    bool isMissing() const { return m_missing; }
    // The database is a PostgreSQL hot standby: it answers reads and refuses every write.
    bool isStandby() const { return m_standby; }
    // How far a standby has followed its primary: the moment of the last change it replayed
    // (invalid before the first), and whether it has received changes not yet replayed.
    struct Replay
    {
        QDateTime replayed;
        bool catchingUp = false;
    };
    // Nothing for a database that is no standby, or on failure (with errorText()).
    std::optional<Replay> replay();
    const RecordsLocation &location() const { return m_location; }
    // The last failure, in plain words that name the database.
    QString errorText() const { return m_error; }
    // The failure's words say that the server had no connection free (its records then wait).
    static bool saysFull(const QString &errorText);

    // A prepared statement on this connection; values are always bound, never written into
    // the text.
    QSqlQuery prepare(const QString &statement);
    // The statement prepared once on this connection and kept for the next time (its values
    // bound anew each time): the statements of storing a record are the same for every record,
    // and a server then neither parses nor plans them again. Null when it cannot be prepared,
    // with the reason kept.
    QSqlQuery *prepared(const QString &statement);
    // Runs a prepared statement; on failure keeps the reason and returns false.
    bool exec(QSqlQuery &query);
    // After its rows were read while next() gave one: whether they ended at the last row
    // rather than at a failure part-way (a spoilt page, a server gone), whose reason is then
    // kept. A read cut short is never taken for all the rows.
    bool readToTheEnd(const QSqlQuery &query);
    // Runs a prepared statement whose answer is not read as the transaction's last, with its
    // commit: on PostgreSQL in the commit's round trip, so that the rows it changes are held
    // for no round trip of this program's, and its failure fails the commit. At once on SQLite.
    bool execWithCommit(QSqlQuery &query);
    // Runs work in one transaction: committed when work returns true and the commit succeeds,
    // else rolled back, so that nothing of it is left.
    bool transaction(const std::function<bool()> &work);
    // How many rows of table (one of this program's own, never a name from outside) wait for
    // each destination, the outbox's and the spool's way of keeping rows; nothing on failure.
    std::optional<QMap<QString, int>> countsByDestination(const QString &table);
    // The schema version the database holds (0 before the first step); nothing on failure.
    std::optional<int> schemaVersion();
    // Runs a statement of fixed text without values, unprepared: schema statements and
    // settings, which PostgreSQL does not prepare. On failure keeps the reason and returns false.
    bool runFixed(const QString &statement);
    // Keeps text as the reason of a failure that is not the database's own (a step of a
    // transaction that could not be made) and returns false.
    bool fail(const QString &text);
    // SQLite's own handle of this connection, for a reader that takes the rows' bytes where
    // SQLite keeps them; null on PostgreSQL or when closed.
    sqlite3 *sqliteHandle() const;

private:
    bool openSqlite(OpenMode mode);
    bool openPostgreSql(OpenMode mode);
    bool checkSqliteFile(OpenMode mode);
    bool missing();
    bool keepSqliteStatistics();
    bool bringUpToDate(const Migrations &migrations, int version, OpenMode mode);
    bool fail(const QSqlError &error);
    QString words(const QSqlError &error) const;
    QString postgreSqlWords(const QString &reason) const;

    RecordsLocation m_location;
    QString m_connectionName;
    QSqlDatabase m_database;
    std::map<QString, QSqlQuery> m_prepared;
    bool m_open = false;
    bool m_missing = false;
    bool m_standby = false;
    QString m_error;
    bool m_longMigrationAllowed = false;
    SchemaMigration::Watcher m_migrationWatcher;
    std::optional<SchemaMigration::Plan> m_migration;
};
