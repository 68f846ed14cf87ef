#pragma once

#include <QString>

#include <optional>

// Where checkout records are kept: an SQLite file, a database on a PostgreSQL server, or
// nowhere. Written as a URL: "sqlite:PATH" or
// "postgresql://[USER@]HOST[:PORT]/DBNAME[?sslmode=MODE&sslrootcert=CAFILE]". A password never
// appears here: the PostgreSQL client library reads PGPASSWORD and ~/.pgpass (and, for what the
// URL leaves out, PGSSLMODE and PGSSLROOTCERT).
struct RecordsLocation
{
    enum class Kind
    {
        None,
        Sqlite,
        PostgreSql,
    };

    static constexpr int DefaultPostgreSqlPort = 5432;

    Kind kind = Kind::None;
    QString path; // Sqlite: absolute file path
    QString user; // PostgreSql: empty for the client library's default (the login name)
    QString host; // PostgreSql
    int port = DefaultPostgreSqlPort;
    QString database;           // PostgreSql
    QString sslMode;            // PostgreSql: libpq's sslmode; empty for libpq's own (PGSSLMODE)
    QString sslRootCertificate; // PostgreSql: the CA's file, absolute; empty for libpq's own

    // sqlite:$XDG_DATA_HOME/vorn-tool/records.sqlite
    static RecordsLocation defaultLocation();
    // The local outbox next to the default database: records waiting for their server.
    static RecordsLocation outboxLocation();

    // Parses a URL; on a URL of an unknown kind or a malformed one, nothing and the reason in
    // error.
    static std::optional<RecordsLocation> parse(const QString &url, QString *error);

    // The location a command uses: --no-records (nowhere), else --records URL, else the
    // environment's VORN_RECORDS, else the default file.
    static std::optional<RecordsLocation> choose(const QString &recordsOption, bool noRecords,
                                                 const QString &environment, QString *error);

    bool isNone() const { return kind == Kind::None; }
    // The URL in its canonical form: names the destination of an outbox entry and appears in
    // messages.
    QString url() const;
    // For messages: "the records file PATH", "the PostgreSQL server HOST:PORT".
    QString description() const;

    friend bool operator==(const RecordsLocation &, const RecordsLocation &) = default;
};
