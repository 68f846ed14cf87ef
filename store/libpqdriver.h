#pragma once

#include <QMap>
#include <QSqlDriver>
#include <QSqlError>
#include <QString>

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
    QString escapeIdentifier(const QString &identifier, IdentifierType type) const override;

private:
    friend class LibpqResult;
    // Runs a statement: text alone (several statements may be in it) when values is null,
    // else as the unnamed statement with values bound. A read-only connection outside a
    // transaction runs it in a READ ONLY one of its own. Null only when libpq had no memory.
    pg_result *run(const QByteArray &statement, const QVariantList *values);
    pg_result *runAlone(const QByteArray &statement, const QVariantList *values);
    bool runCommand(const char *command);
    QSqlError errorOf(const QString &what, pg_result *result, QSqlError::ErrorType type) const;

    QMap<QString, QString> m_parameters;
    Access m_access;
    QString m_loadFailure;
    const LibpqApi *m_pq; // null when the client library is not there (m_loadFailure says why)
    pg_conn *m_connection = nullptr;
    bool m_inTransaction = false;
};
