#pragma once

#include "store/recordslocation.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QTemporaryDir>

// Empty records databases for the tests: new SQLite files in a temporary folder, or, when
// VORN_TEST_POSTGRES_URL names a server (tests/records/postgres_cluster.sh starts a private
// one), new databases on that server, reached through the transaction pool in front of it when
// VORN_TEST_PGBOUNCER_URL names one (the databases themselves made on the server).
class TestDatabases
{
public:
    bool onPostgreSql() const { return !m_serverUrl.isEmpty(); }
    const QTemporaryDir &folder() const { return m_folder; }

    // An empty database; an invalid location (with the reason in error) when it cannot be made.
    RecordsLocation fresh(QString *error)
    {
        ++m_count;
        if (!onPostgreSql())
            return *RecordsLocation::parse(
                QStringLiteral("sqlite:") +
                    m_folder.filePath(QStringLiteral("records-%1.sqlite").arg(m_count)),
                error);
        const QString name = QStringLiteral("yield_%1").arg(m_count);
        if (!runOnServer(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name), error) ||
            !runOnServer(QStringLiteral("CREATE DATABASE %1").arg(name), error))
            return {};
        RecordsLocation location =
            *RecordsLocation::parse(m_poolUrl.isEmpty() ? m_serverUrl : m_poolUrl, error);
        location.database = name;
        return location;
    }

private:
    bool runOnServer(const QString &statement, QString *error)
    {
        const RecordsLocation server = *RecordsLocation::parse(m_serverUrl, nullptr);
        bool done = false;
        {
            QSqlDatabase database =
                QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("admin"));
            database.setHostName(server.host);
            database.setPort(server.port);
            database.setUserName(server.user);
            database.setDatabaseName(server.database);
            QSqlQuery query(database);
            done = database.open() && query.exec(statement);
            if (!done)
                *error = database.lastError().text() + query.lastError().text();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("admin"));
        return done;
    }

    QTemporaryDir m_folder;
    QString m_serverUrl = qEnvironmentVariable("VORN_TEST_POSTGRES_URL");
    QString m_poolUrl = qEnvironmentVariable("VORN_TEST_PGBOUNCER_URL");
    int m_count = 0;
};
