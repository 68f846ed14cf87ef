#pragma once

#include <QMap>
#include <QSqlDriver>
#include <QSqlError>
#include <QString>
#include <QVariantList>

#include <vector>

struct pg_conn;
struct pg_result;
class LibpqResult;
struct LibpqApi;

// A Qt SQL driver for PostgreSQL that asks the server through libpq alone, in a way a
// transaction pool (pgbouncer, pool_mode = transaction) passes on unchanged: every statement is
// sent with its values bound as parameters, as the unnamed statement of its own round trip, so
// that nothing is left on the server connection after a transaction ends (Qt's own driver
// prepares named statements, which the pool hands to another client's connection). No session
// settings either: notices are dropped here rather than silenced with SET, and a read-only
// connection opens each of its transactions READ ONLY.
//
// Round trips are what a store waits for, and what it holds its row locks across: BEGIN goes
// with a transaction's first statement, and a statement deferred to the commit goes with
// COMMIT, each pair in one round trip (libpq's pipeline mode, which a transaction pool passes
// on as it does any extended-protocol exchange).
//
//     auto *driver = new LibpqDriver({{"host", "db1"}, {"dbname", "vorn"}}, LibpqDriver::ReadOnly);
//     QSqlDatabase database = QSqlDatabase::addDatabase(driver, name); // takes it
//     database.open();
class LibpqDriver : public QSqlDriver
{
    Q_OBJECT
public:
    enum Access
    {
        ReadWrite,
        ReadOnly, // the server refuses any write made through this connection
    };

    // parameters: libpq's connection keywords and values (host, port, dbname, user, sslmode,
    // connect_timeout, ...); no password: libpq finds it in PGPASSWORD or ~/.pgpass.
    explicit LibpqDriver(QMap<QString, QString> parameters, Access access = ReadWrite,
                         QObject *parent = nullptr);
    ~LibpqDriver() override;
    LibpqDriver(const LibpqDriver &) = delete;
    LibpqDriver &operator=(const LibpqDriver &) = delete;

    bool hasFeature(DriverFeature feature) const override;
    // The arguments Qt passes are ignored: the connection is what the constructor was given.
    bool open(const QString &database, const QString &user, const QString &password,
              const QString &host, int port, const QString &options) override;
    void close() override;
    QSqlResult *createResult() const override;
    bool beginTransaction() override;
    bool commitTransaction() override;
    bool rollbackTransaction() override;
    QStringList tables(QSql::TableType type) const override;

    // The next statement run in this transaction is sent with its COMMIT, in the same round
    // trip; until then it answers as done with no rows. Its failure fails the commit (and the
    // transaction is rolled back as for any failed commit). For a last statement whose answer
    // is not read: the summaries' changes, whose rows every store of a line takes.
    void deferNextToCommit() { m_deferNext = true; }
    QString escapeIdentifier(const QString &identifier, IdentifierType type) const override;

private:
    friend class LibpqResult;
    // Runs a statement: text alone (several statements may be in it) when values is null,
    // else as the unnamed statement with values bound. A read-only connection outside a
    // transaction runs it in a READ ONLY one of its own. Null only when libpq had no memory.
    pg_result *run(const QByteArray &statement, const QVariantList *values);
    pg_result *runAlone(const QByteArray &statement, const QVariantList *values);
    struct Statement
    {
        QByteArray text;
        QVariantList values;
    };
    // The statements in one round trip, each answered in order (one after a failed one as
    // aborted); a null answer where the connection broke.
    std::vector<pg_result *> runTogether(const std::vector<Statement> &statements);
    // The answers of statements run together as one: the first that failed, or the last; the
    // others are cleared.
    pg_result *firstFailedOrLast(std::vector<pg_result *> answers);
    const char *beginCommand() const;
    bool runCommand(const char *command);
    QSqlError errorOf(const QString &what, pg_result *result, QSqlError::ErrorType type) const;

    QMap<QString, QString> m_parameters;
    Access m_access;
    QString m_loadFailure;
    const LibpqApi *m_pq; // null when the client library is not there (m_loadFailure says why)
    pg_conn *m_connection = nullptr;
    bool m_inTransaction = false;
    bool m_beginPending = false; // BEGIN not sent yet: it goes with the first statement
    bool m_deferNext = false;
    std::vector<Statement> m_atCommit;
};
