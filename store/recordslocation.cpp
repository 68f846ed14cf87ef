#include "store/recordslocation.h"

#include <QDir>
#include <QStandardPaths>
#include <QUrl>

namespace {

const QString SqlitePrefix = QStringLiteral("sqlite:");

QString dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/vorn-tool");
}

RecordsLocation sqliteAt(const QString &path)
{
    RecordsLocation location;
    location.kind = RecordsLocation::Kind::Sqlite;
    location.path = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    return location;
}

std::optional<RecordsLocation> parsePostgreSql(const QString &text, QString *error)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString database = url.path().mid(1);
    QString problem;
    if (!url.isValid() || url.host().isEmpty())
        problem = QStringLiteral("it names no server");
    else if (!url.password().isEmpty())
        problem = QStringLiteral("a password does not belong in the URL: give it in PGPASSWORD "
                                 "or ~/.pgpass");
    else if (!url.path().startsWith(QLatin1Char('/')) || database.isEmpty() ||
             database.contains(QLatin1Char('/')))
        problem = QStringLiteral("it names no database: postgresql://[USER@]HOST[:PORT]/DBNAME");
    else if (url.hasQuery() || url.hasFragment())
        problem = QStringLiteral("it has parts after the database name");
    if (!problem.isEmpty()) {
        *error = QStringLiteral("the records URL '%1' is not usable: %2").arg(text, problem);
        return std::nullopt;
    }
    RecordsLocation location;
    location.kind = RecordsLocation::Kind::PostgreSql;
    location.user = url.userName();
    location.host = url.host();
    location.port = url.port(RecordsLocation::DefaultPostgreSqlPort);
    location.database = database;
    return location;
}

} // namespace

RecordsLocation RecordsLocation::defaultLocation()
{
    return sqliteAt(dataFolder() + QStringLiteral("/records.sqlite"));
}

RecordsLocation RecordsLocation::outboxLocation()
{
    return sqliteAt(dataFolder() + QStringLiteral("/outbox.sqlite"));
}

std::optional<RecordsLocation> RecordsLocation::parse(const QString &url, QString *error)
{
    if (url.startsWith(SqlitePrefix)) {
        const QString path = url.mid(SqlitePrefix.size());
        if (path.isEmpty()) {
            *error = QStringLiteral("the records URL '%1' names no file: sqlite:PATH").arg(url);
            return std::nullopt;
        }
        return sqliteAt(path);
    }
    if (url.startsWith(QLatin1String("postgresql://")) ||
        url.startsWith(QLatin1String("postgres://")))
        return parsePostgreSql(url, error);
    *error = QStringLiteral("the records URL '%1' is of an unknown kind: give sqlite:PATH or "
                            "postgresql://[USER@]HOST[:PORT]/DBNAME")
                 .arg(url);
    return std::nullopt;
}

std::optional<RecordsLocation> RecordsLocation::choose(const QString &recordsOption, bool noRecords,
                                                       const QString &environment, QString *error)
{
    if (noRecords)
        return RecordsLocation();
    if (!recordsOption.isEmpty())
        return parse(recordsOption, error);
    if (!environment.isEmpty())
        return parse(environment, error);
    return defaultLocation();
}

QString RecordsLocation::url() const
{
    switch (kind) {
    case Kind::None:
        return {};
    case Kind::Sqlite:
        return SqlitePrefix + path;
    case Kind::PostgreSql:
        break;
    }
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    url.setUserName(user);
    url.setHost(host);
    url.setPort(port);
    url.setPath(QLatin1Char('/') + database);
    return url.toString();
}

QString RecordsLocation::description() const
{
    switch (kind) {
    case Kind::None:
        return QStringLiteral("nowhere");
    case Kind::Sqlite:
        return QStringLiteral("the records file %1").arg(path);
    case Kind::PostgreSql:
        break;
    }
    return QStringLiteral("the database %1 on the PostgreSQL server %2:%3")
        .arg(database, host)
        .arg(port);
}
