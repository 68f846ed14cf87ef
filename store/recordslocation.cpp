#include "store/recordslocation.h"

#include <QDir>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

namespace {

const QString SqlitePrefix = QStringLiteral("sqlite:");
// libpq's own modes; verify-full is a factory's: the server's certificate signed by the CA
// named and made out to the host name dialled.
const QStringList SslModes{QStringLiteral("disable"),   QStringLiteral("allow"),
                           QStringLiteral("prefer"),    QStringLiteral("require"),
                           QStringLiteral("verify-ca"), QStringLiteral("verify-full")};

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
    else if (url.hasFragment())
        problem = QStringLiteral("it has parts after the database name");
    const QUrlQuery query(url);
    for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (!problem.isEmpty())
            break;
        if (key != QLatin1String("sslmode") && key != QLatin1String("sslrootcert"))
            problem = QStringLiteral("it has a setting '%1' after the database name: only "
                                     "sslmode and sslrootcert belong there")
                          .arg(key);
        else if (key == QLatin1String("sslmode") && !SslModes.contains(value))
            problem = QStringLiteral("sslmode must be one of %1, not '%2'")
                          .arg(SslModes.join(QStringLiteral(", ")), value);
    }
    if (!problem.isEmpty()) {
        // Neither a password nor the settings put there by mistake reach the screen.
        QUrl withoutSecrets = url;
        withoutSecrets.setPassword({});
        withoutSecrets.setQuery(QString());
        const QString shown =
            url.isValid()
                ? withoutSecrets.toString() + (url.hasQuery() ? QStringLiteral("?...") : QString())
                : text;
        *error = QStringLiteral("the records URL '%1' is not usable: %2").arg(shown, problem);
        return std::nullopt;
    }
    RecordsLocation location;
    location.kind = RecordsLocation::Kind::PostgreSql;
    location.user = url.userName();
    location.host = url.host();
    location.port = url.port(RecordsLocation::DefaultPostgreSqlPort);
    location.database = database;
    location.sslMode = query.queryItemValue(QStringLiteral("sslmode"), QUrl::FullyDecoded);
    const QString rootCertificate =
        query.queryItemValue(QStringLiteral("sslrootcert"), QUrl::FullyDecoded);
    if (!rootCertificate.isEmpty())
        location.sslRootCertificate = QDir::current().absoluteFilePath(rootCertificate);
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
    QUrlQuery query;
    if (!sslMode.isEmpty())
        query.addQueryItem(QStringLiteral("sslmode"), sslMode);
    if (!sslRootCertificate.isEmpty())
        query.addQueryItem(QStringLiteral("sslrootcert"), sslRootCertificate);
    url.setQuery(query);
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
