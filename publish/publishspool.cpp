#include "publish/publishspool.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include "checkout/checkoutrecord.h"

namespace {

// AUTOINCREMENT: a sequence number is never given twice, so a sender that has sent up to N
// never mistakes a newer message for one it has sent.
const RecordsDatabase::Migrations Schema = {
    {
        QStringLiteral("CREATE TABLE IF NOT EXISTS spool ("
                       "sequence INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "destination TEXT NOT NULL, "
                       "unique_id VARCHAR(64) NOT NULL, "
                       "message_name VARCHAR(128) NOT NULL, "
                       "queued VARCHAR(32) NOT NULL, "
                       "body TEXT NOT NULL, "
                       "UNIQUE (destination, unique_id))"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS spool_by_destination "
                       "ON spool (destination, sequence)"),
    },
};

} // namespace

PublishSpool::PublishSpool(const RecordsLocation &file) : m_database(file) {}

RecordsLocation PublishSpool::defaultLocation()
{
    QString error;
    return *RecordsLocation::parse(
        QStringLiteral("sqlite:") +
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
            QStringLiteral("/vorn-tool/publish-spool.sqlite"),
        &error);
}

bool PublishSpool::open()
{
    return m_database.open(Schema);
}

bool PublishSpool::add(const QString &destination, const QList<QJsonObject> &envelopes)
{
    const QString queued = isoUtc(QDateTime::currentDateTimeUtc());
    return m_database.transaction([&] {
        QSqlQuery insert = m_database.prepare(QStringLiteral(
            "INSERT INTO spool (destination, unique_id, message_name, queued, body) "
            "VALUES (?, ?, ?, ?, ?) ON CONFLICT (destination, unique_id) DO NOTHING"));
        for (const QJsonObject &envelope : envelopes) {
            insert.bindValue(0, destination);
            insert.bindValue(1, envelope.value(QLatin1String("UniqueID")).toString());
            insert.bindValue(2, envelope.value(QLatin1String("MessageName")).toString());
            insert.bindValue(3, queued);
            insert.bindValue(
                4, QString::fromUtf8(QJsonDocument(envelope).toJson(QJsonDocument::Compact)));
            if (!m_database.exec(insert))
                return false;
        }
        return true;
    });
}

std::optional<QList<PublishSpool::Entry>> PublishSpool::next(const QString &destination,
                                                             qint64 after, int limit)
{
    QSqlQuery query = m_database.prepare(
        QStringLiteral("SELECT sequence, unique_id, message_name, body FROM spool "
                       "WHERE destination = ? AND sequence > ? ORDER BY sequence LIMIT ?"));
    query.addBindValue(destination);
    query.addBindValue(after);
    query.addBindValue(limit);
    if (!m_database.exec(query))
        return std::nullopt;
    QList<Entry> entries;
    while (query.next())
        entries.append({query.value(0).toLongLong(), query.value(1).toString(),
                        query.value(2).toString(), query.value(3).toString().toUtf8()});
    if (!m_database.readToTheEnd(query))
        return std::nullopt;
    return entries;
}

bool PublishSpool::remove(const QList<qint64> &sequences)
{
    if (sequences.isEmpty())
        return true;
    return m_database.transaction([&] {
        QSqlQuery remove =
            m_database.prepare(QStringLiteral("DELETE FROM spool WHERE sequence = ?"));
        for (const qint64 sequence : sequences) {
            remove.bindValue(0, sequence);
            if (!m_database.exec(remove))
                return false;
        }
        return true;
    });
}

std::optional<QMap<QString, int>> PublishSpool::counts()
{
    return m_database.countsByDestination(QStringLiteral("spool"));
}

std::optional<int> PublishSpool::move(const QString &from, const QString &to)
{
    int moved = 0;
    const bool done = m_database.transaction([&] {
        QSqlQuery twice = m_database.prepare(
            QStringLiteral("DELETE FROM spool WHERE destination = ? AND unique_id IN "
                           "(SELECT unique_id FROM spool WHERE destination = ?)"));
        twice.addBindValue(from);
        twice.addBindValue(to);
        QSqlQuery update =
            m_database.prepare(QStringLiteral("UPDATE spool SET destination = ? WHERE "
                                              "destination = ?"));
        update.addBindValue(to);
        update.addBindValue(from);
        if (!m_database.exec(twice) || !m_database.exec(update))
            return false;
        moved = twice.numRowsAffected() + update.numRowsAffected();
        return true;
    });
    return done ? std::optional(moved) : std::nullopt;
}

std::optional<int> PublishSpool::drop(const QString &destination)
{
    QSqlQuery remove =
        m_database.prepare(QStringLiteral("DELETE FROM spool WHERE destination = ?"));
    remove.addBindValue(destination);
    if (!m_database.exec(remove))
        return std::nullopt;
    return remove.numRowsAffected();
}
