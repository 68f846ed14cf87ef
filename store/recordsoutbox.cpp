#include "store/recordsoutbox.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QVariant>

namespace {

const RecordsDatabase::Migrations Schema = {
    {
        QStringLiteral("CREATE TABLE IF NOT EXISTS outbox ("
                       "destination TEXT NOT NULL, "
                       "id VARCHAR(64) NOT NULL, "
                       "queued VARCHAR(32) NOT NULL, "
                       "record TEXT NOT NULL, "
                       "PRIMARY KEY (destination, id))"),
    },
};

} // namespace

RecordsOutbox::RecordsOutbox(const RecordsLocation &file) : m_database(file) {}

bool RecordsOutbox::open(RecordsDatabase::OpenMode mode)
{
    return m_database.open(Schema, mode);
}

bool RecordsOutbox::add(const QString &destination, const ReaderRecord &record)
{
    return m_database.transaction([&] {
        QSqlQuery insert = m_database.prepare(
            QStringLiteral("INSERT INTO outbox (destination, id, queued, record) "
                           "VALUES (?, ?, ?, ?) ON CONFLICT (destination, id) DO NOTHING"));
        insert.addBindValue(destination);
        insert.addBindValue(record.id);
        insert.addBindValue(isoUtc(QDateTime::currentDateTimeUtc()));
        insert.addBindValue(
            QString::fromUtf8(QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact)));
        return m_database.exec(insert);
    });
}

std::optional<QList<ReaderRecord>> RecordsOutbox::waiting(const QString &destination)
{
    QSqlQuery query = m_database.prepare(
        QStringLiteral("SELECT record FROM outbox WHERE destination = ? ORDER BY queued, id"));
    query.addBindValue(destination);
    if (!m_database.exec(query))
        return std::nullopt;
    QList<ReaderRecord> records;
    while (query.next()) {
        const std::optional<ReaderRecord> record = ReaderRecord::fromJson(
            QJsonDocument::fromJson(query.value(0).toString().toUtf8()).object());
        if (record)
            records.append(*record);
    }
    if (!m_database.readToTheEnd(query))
        return std::nullopt;
    return records;
}

bool RecordsOutbox::remove(const QString &destination, const QString &id)
{
    return m_database.transaction([&] {
        QSqlQuery remove = m_database.prepare(
            QStringLiteral("DELETE FROM outbox WHERE destination = ? AND id = ?"));
        remove.addBindValue(destination);
        remove.addBindValue(id);
        return m_database.exec(remove);
    });
}

std::optional<QMap<QString, int>> RecordsOutbox::counts()
{
    return m_database.countsByDestination(QStringLiteral("outbox"));
}
