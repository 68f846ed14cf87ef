#include "store/recordchain.h"

#include "store/libcryptoapi.h"

#include <QSqlQuery>
#include <QVariant>

namespace RecordChain {

const QStringList &chainedColumns()
{
    static const QStringList columns{QStringLiteral("id"),
                                     QStringLiteral("started"),
                                     QStringLiteral("station"),
                                     QStringLiteral("port"),
                                     QStringLiteral("model"),
                                     QStringLiteral("serial"),
                                     QStringLiteral("outcome"),
                                     QStringLiteral("failed_steps"),
                                     QStringLiteral("duration_ms"),
                                     QStringLiteral("record"),
                                     QStringLiteral("tool"),
                                     QStringLiteral("tool_version"),
                                     QStringLiteral("operator"),
                                     QStringLiteral("lot"),
                                     QStringLiteral("firmware"),
                                     QStringLiteral("plan_name"),
                                     QStringLiteral("plan_revision"),
                                     QStringLiteral("plan_sha256")};
    return columns;
}

QStringList schemaStep()
{
    return {
        QStringLiteral("ALTER TABLE checkouts ADD COLUMN chain_position BIGINT"),
        QStringLiteral("ALTER TABLE checkouts ADD COLUMN chain_previous VARCHAR(64)"),
        QStringLiteral("ALTER TABLE checkouts ADD COLUMN chain_hash VARCHAR(64)"),
        // One checkout per place of a station's chain: two keepers never both take a place.
        QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS checkouts_chain "
                       "ON checkouts (station, chain_position)"),
    };
}

bool canHash(QString *error)
{
    return LibcryptoApi::load(error) != nullptr;
}

QString hashOf(const QString &previous, const QVariantList &values)
{
    const LibcryptoApi *crypto = LibcryptoApi::load(nullptr);
    if (!crypto)
        return {};
    // Each value as its length and its text, a missing one (NULL) as '-': no two different
    // rows give the same bytes. The bytes go to the digest as they come, the record's text
    // (most of them) without a copy: a nightly walk hashes a million records.
    EVP_MD_CTX *context = crypto->newContext();
    crypto->digestInit(context, crypto->sha256(), nullptr);
    const QByteArray head = previous.toLatin1();
    crypto->digestUpdate(context, head.constData(), std::size_t(head.size()));
    for (const QVariant &value : values) {
        if (value.isNull()) {
            crypto->digestUpdate(context, "\n-", 2);
            continue;
        }
        // The record's text comes from a verifier as its UTF-8 bytes already.
        const QByteArray text = value.typeId() == QMetaType::QByteArray ? value.toByteArray()
                                                                        : value.toString().toUtf8();
        const QByteArray length = '\n' + QByteArray::number(text.size()) + ':';
        crypto->digestUpdate(context, length.constData(), std::size_t(length.size()));
        crypto->digestUpdate(context, text.constData(), std::size_t(text.size()));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    crypto->digestFinal(context, digest, &size);
    crypto->freeContext(context);
    return QString::fromLatin1(
        QByteArray::fromRawData(reinterpret_cast<const char *>(digest), int(size)).toHex());
}

namespace {

// The station's own lock for the rest of the transaction. PostgreSQL: an advisory lock on the
// station's name, which needs no right on any table. SQLite lets one writer in at a time, but a
// transaction that read before it wrote may find another committed in between: writing first
// takes the file's write lock before the chain's head is read.
bool lockStation(RecordsDatabase &database, const QString &station)
{
    const bool sqlite = database.location().kind == RecordsLocation::Kind::Sqlite;
    QSqlQuery *lock = database.prepared(
        sqlite ? QStringLiteral("UPDATE records_schema SET version = version WHERE id = 1")
               : QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?))"));
    if (!lock)
        return false;
    if (!sqlite)
        lock->addBindValue(station);
    return database.exec(*lock);
}

} // namespace

std::optional<Link> next(RecordsDatabase &database, const QString &station,
                         const QVariantList &values)
{
    QString error;
    if (!canHash(&error)) {
        database.fail(error);
        return std::nullopt;
    }
    if (!lockStation(database, station))
        return std::nullopt;
    QSqlQuery *head =
        database.prepared(QStringLiteral("SELECT chain_position, chain_hash FROM checkouts "
                                         "WHERE station = ? AND chain_position IS NOT NULL "
                                         "ORDER BY chain_position DESC LIMIT 1"));
    if (!head)
        return std::nullopt;
    head->addBindValue(station);
    if (!database.exec(*head))
        return std::nullopt;
    Link link;
    link.position = 1;
    if (head->next()) {
        link.position = head->value(0).toLongLong() + 1;
        link.previous = head->value(1).toString();
    }
    head->finish();
    link.hash = hashOf(link.previous, values);
    return link;
}

} // namespace RecordChain
