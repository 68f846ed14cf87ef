#include "store/recordchain.h"

#include "store/libcryptoapi.h"

#include <QSqlQuery>
#include <QVariant>

#include <array>
#include <charconv>
#include <vector>

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

namespace {

// A digest context of this thread's, made once: a walk hashes a million records, and a context
// made for each (and the digest's implementation looked up for each) costs as much again.
class Sha256
{
public:
    Sha256() = default;
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;
    ~Sha256()
    {
        if (m_context)
            m_crypto->freeContext(m_context);
    }

    // Null when libcrypto is missing.
    static Sha256 *forThisThread()
    {
        thread_local Sha256 sha;
        if (!sha.m_context) {
            sha.m_crypto = LibcryptoApi::load(nullptr);
            if (!sha.m_crypto)
                return nullptr;
            sha.m_context = sha.m_crypto->newContext();
        }
        return &sha;
    }

    void begin() { m_crypto->digestInit(m_context, digest(m_crypto), nullptr); }
    void add(QByteArrayView bytes)
    {
        m_crypto->digestUpdate(m_context, bytes.data(), std::size_t(bytes.size()));
    }
    QByteArray hex()
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        m_crypto->digestFinal(m_context, digest, &size);
        return QByteArray::fromRawData(reinterpret_cast<const char *>(digest), int(size)).toHex();
    }

private:
    // Looked up once for the process; the library keeps it for as long as it is loaded.
    static const EVP_MD *digest(const LibcryptoApi *crypto)
    {
        static const EVP_MD *sha256 = crypto->fetchDigest(nullptr, "SHA256", nullptr);
        return sha256;
    }

    const LibcryptoApi *m_crypto = nullptr;
    EVP_MD_CTX *m_context = nullptr;
};

} // namespace

QByteArray hashOf(QByteArrayView previous, std::span<const Field> fields)
{
    Sha256 *sha = Sha256::forThisThread();
    if (!sha)
        return {};
    // Each value as its length and its bytes, a missing one (NULL) as '-': no two different
    // rows give the same bytes.
    sha->begin();
    sha->add(previous);
    std::array<char, 24> length{'\n'};
    for (const Field &field : fields) {
        if (!field) {
            sha->add("\n-");
            continue;
        }
        char *end = std::to_chars(length.begin() + 1, length.end() - 1, field->size()).ptr;
        *end++ = ':';
        sha->add(QByteArrayView(length.data(), end - length.data()));
        sha->add(*field);
    }
    return sha->hex();
}

QString hashOf(const QString &previous, const QVariantList &values)
{
    // The record's text comes from a reader as its UTF-8 bytes already.
    std::vector<QByteArray> bytes;
    bytes.reserve(std::size_t(values.size()));
    std::vector<Field> fields;
    fields.reserve(std::size_t(values.size()));
    for (const QVariant &value : values) {
        if (value.isNull()) {
            fields.emplace_back();
            continue;
        }
        bytes.push_back(value.typeId() == QMetaType::QByteArray ? value.toByteArray()
                                                                : value.toString().toUtf8());
        fields.emplace_back(bytes.back());
    }
    return QString::fromLatin1(hashOf(previous.toLatin1(), fields));
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
