#include "store/chainrows.h"

#include "store/libsqliteapi.h"

#include <QStringList>
#include <QVariant>

namespace {

constexpr int LinkColumns = 3; // chain_position, chain_previous, chain_hash

QString chainSelect(RecordsLocation::Kind kind)
{
    QStringList columns = RecordChain::chainedColumns();
    // The record itself, the bulk of each row, as its UTF-8 bytes: read as text through Qt
    // SQL, it would be turned into UTF-16 and back for each record.
    if (kind == RecordsLocation::Kind::PostgreSql)
        columns.replace(columns.indexOf(QStringLiteral("record")),
                        QStringLiteral("convert_to(record, 'UTF8')"));
    return QStringLiteral("SELECT chain_position, chain_previous, chain_hash, %1 FROM checkouts ")
        .arg(columns.join(QStringLiteral(", ")));
}

} // namespace

ChainRows::ChainRows(RecordsDatabase &database) : m_database(database)
{
    m_fields.resize(std::size_t(RecordChain::chainedColumns().size()));
}

ChainRows::~ChainRows()
{
    if (m_statement)
        m_sqlite->finalize(m_statement);
}

bool ChainRows::selectChain(const QString &station, qint64 from)
{
    return select(
        QStringLiteral("WHERE station = ? AND chain_position >= ? ORDER BY chain_position"),
        station, from);
}

bool ChainRows::selectRecord(const QString &id)
{
    return select(QStringLiteral("WHERE id = ?"), id, std::nullopt);
}

bool ChainRows::select(const QString &condition, const QString &text, std::optional<qint64> number)
{
    const QString statement = chainSelect(m_database.location().kind) + condition;
    if (sqlite3 *handle = m_database.sqliteHandle()) {
        QString error;
        m_sqlite = LibsqliteApi::load(&error);
        if (!m_sqlite)
            return m_database.fail(error);
        const QByteArray sql = statement.toUtf8();
        const QByteArray textValue = text.toUtf8();
        if (m_sqlite->prepare(handle, sql.constData(), int(sql.size()), &m_statement, nullptr) !=
                SQLITE_OK ||
            m_sqlite->bindText(m_statement, 1, textValue.constData(), int(textValue.size()),
                               SQLITE_TRANSIENT) != SQLITE_OK ||
            (number && m_sqlite->bindInt64(m_statement, 2, *number) != SQLITE_OK))
            return m_database.fail(QString::fromUtf8(m_sqlite->errorMessage(handle)));
        return true;
    }
    m_query = m_database.prepare(statement);
    m_query->setForwardOnly(true);
    m_query->addBindValue(text);
    if (number)
        m_query->addBindValue(*number);
    m_values.resize(m_fields.size() + LinkColumns);
    return m_database.exec(*m_query);
}

bool ChainRows::next()
{
    if (!m_statement) {
        if (!m_query)
            return false;
        if (!m_query->next()) {
            m_failed = !m_database.readToTheEnd(*m_query);
            return false;
        }
        readQueryRow();
        return true;
    }
    const int stepped = m_sqlite->step(m_statement);
    if (stepped == SQLITE_ROW) {
        readSqliteRow();
        return true;
    }
    if (stepped != SQLITE_DONE) {
        m_failed = true;
        m_database.fail(QString::fromUtf8(m_sqlite->errorMessage(m_database.sqliteHandle())));
    }
    return false;
}

void ChainRows::readSqliteRow()
{
    const auto bytes = [this](int column) -> RecordChain::Field {
        if (m_sqlite->columnType(m_statement, column) == SQLITE_NULL)
            return std::nullopt;
        // A number's decimal text, a text's own bytes; the blob first, then its size, as
        // SQLite asks.
        const auto *data = static_cast<const char *>(m_sqlite->columnBlob(m_statement, column));
        return QByteArrayView(data, m_sqlite->columnBytes(m_statement, column));
    };
    m_position = m_sqlite->columnInt64(m_statement, 0);
    m_previous = bytes(1).value_or(QByteArrayView());
    m_hash = bytes(2);
    for (std::size_t field = 0; field < m_fields.size(); ++field)
        m_fields[field] = bytes(int(field) + LinkColumns);
}

void ChainRows::readQueryRow()
{
    for (std::size_t column = 0; column < m_values.size(); ++column) {
        const QVariant value = m_query->value(int(column));
        // The record's bytes as they came; any other value as its text in UTF-8.
        m_values[column] = value.typeId() == QMetaType::QByteArray ? value.toByteArray()
                                                                   : value.toString().toUtf8();
        if (column >= LinkColumns)
            m_fields[column - LinkColumns] =
                value.isNull() ? RecordChain::Field() : RecordChain::Field(m_values[column]);
    }
    m_position = m_query->value(0).toLongLong();
    m_previous = m_values[1];
    m_hash = m_query->isNull(2) ? RecordChain::Field() : RecordChain::Field(m_values[2]);
}
