#pragma once

#include "store/schemamigration.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

// A records file of schema version 3 (tests/records/v3-records.sqlite) holding, beside its own
// checkouts, copies of one of them under new ids: more than a migration starts on its own.
// False when it cannot be made.
inline bool makeLongMigrationFile(const QString &fixture, const QString &path)
{
    QFile::remove(path);
    if (!QFile::copy(fixture, path))
        return false;
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    bool made = false;
    {
        QSqlDatabase database =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("long-migration"));
        database.setDatabaseName(path);
        const bool opened = database.open();
        QSqlQuery query(database);
        query.prepare(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
            "INSERT INTO checkouts (id, started, station, port, model, serial, outcome, "
            "failed_steps, duration_ms, record, tool, tool_version, operator, lot, firmware) "
            "SELECT 'copy-' || i || '-' || c.id, c.started, c.station, c.port, c.model, "
            "c.serial + i % 500, c.outcome, c.failed_steps, c.duration_ms, c.record, c.tool, "
            "c.tool_version, c.operator, c.lot, c.firmware FROM n, "
            "(SELECT * FROM checkouts ORDER BY id LIMIT 1) AS c"));
        query.addBindValue(SchemaMigration::LongAbove);
        made = opened && query.exec();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("long-migration"));
    return made;
}

// The schema version a records file holds; -1 when it cannot be read.
inline int schemaVersionOf(const QString &path)
{
    int version = -1;
    {
        QSqlDatabase database =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("schema-version"));
        database.setDatabaseName(path);
        QSqlQuery query(database);
        if (database.open() &&
            query.exec(QStringLiteral("SELECT version FROM records_schema WHERE id = 1")) &&
            query.next())
            version = query.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("schema-version"));
    return version;
}
