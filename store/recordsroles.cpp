#include "store/recordsroles.h"

#include <QSqlQuery>

namespace {

const QStringList Roles{QStringLiteral("vorn_reader"), QStringLiteral("vorn_station"),
                        QStringLiteral("vorn_technician")};
// What a kept checkout is made of: a station adds to them and never changes them.
const QStringList KeptTables{QStringLiteral("checkouts"), QStringLiteral("checkout_steps"),
                             QStringLiteral("measurements")};

QStringList tablesOf(RecordsDatabase &database)
{
    QSqlQuery query = database.prepare(QStringLiteral(
        "SELECT tablename FROM pg_tables WHERE schemaname = current_schema() ORDER BY tablename"));
    QStringList tables;
    if (database.exec(query)) {
        while (query.next())
            tables.append(query.value(0).toString());
    }
    return tables;
}

} // namespace

QStringList RecordsRoles::statements(RecordsDatabase &database)
{
    QStringList statements;
    for (const QString &role : Roles)
        statements.append(QStringLiteral("DO $$ BEGIN CREATE ROLE %1 NOLOGIN; EXCEPTION WHEN "
                                         "duplicate_object THEN NULL; END $$")
                              .arg(role));
    statements += {
        QStringLiteral("GRANT vorn_reader TO vorn_station"),
        QStringLiteral("GRANT vorn_station TO vorn_technician"),
        QStringLiteral("GRANT USAGE ON SCHEMA public TO vorn_reader"),
        QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO vorn_reader"),
        QStringLiteral("ALTER DEFAULT PRIVILEGES IN SCHEMA public GRANT SELECT ON TABLES TO "
                       "vorn_reader"),
        QStringLiteral("GRANT INSERT ON %1 TO vorn_station").arg(KeptTables.join(u", ")),
        QStringLiteral("GRANT INSERT ON repairs TO vorn_technician"),
    };
    // The summaries are counts a station adds its checkout to; they hold no record.
    for (const QString &table : tablesOf(database)) {
        if (table.startsWith(QLatin1String("yield_")))
            statements.append(
                QStringLiteral("GRANT INSERT, UPDATE ON %1 TO vorn_station").arg(table));
    }
    return statements;
}

bool RecordsRoles::setUp(RecordsDatabase &database)
{
    const QStringList all = statements(database);
    return database.transaction([&] {
        for (const QString &statement : all) {
            if (!database.runFixed(statement))
                return false;
        }
        return true;
    });
}
