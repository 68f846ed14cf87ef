#include "store/libpqresult.h"

#include "store/libpqapi.h"
#include "store/libpqdriver.h"

#include <QSqlError>
#include <QSqlField>
#include <QVariant>

namespace {

// PostgreSQL's own numbers of the types this program reads (pg_type.oid).
enum : Oid
{
    BoolType = 16,
    ByteaType = 17,
    Int8Type = 20,
    Int2Type = 21,
    Int4Type = 23,
    OidType = 26,
    Float4Type = 700,
    Float8Type = 701,
    NumericType = 1700,
};

QMetaType metaTypeOf(Oid type)
{
    switch (type) {
    case BoolType:
        return QMetaType(QMetaType::Bool);
    case ByteaType:
        return QMetaType(QMetaType::QByteArray);
    case Int2Type:
    case Int4Type:
        return QMetaType(QMetaType::Int);
    case Int8Type:
        return QMetaType(QMetaType::LongLong);
    case OidType:
        return QMetaType(QMetaType::UInt);
    case Float4Type:
    case Float8Type:
    case NumericType:
        return QMetaType(QMetaType::Double);
    default:
        return QMetaType(QMetaType::QString);
    }
}

} // namespace

LibpqResult::LibpqResult(const LibpqDriver *driver)
    : QSqlResult(driver), m_pq(LibpqApi::load(nullptr))
{
}

LibpqResult::~LibpqResult()
{
    clearAnswer();
}

LibpqDriver *LibpqResult::driver() const
{
    return const_cast<LibpqDriver *>(static_cast<const LibpqDriver *>(QSqlResult::driver()));
}

QString LibpqResult::numberedPlaceholders(const QString &statement)
{
    QString numbered;
    numbered.reserve(statement.size() + 16);
    int next = 1;
    QChar quote; // the quote that opened the text being read, if any
    for (qsizetype index = 0; index < statement.size(); ++index) {
        const QChar each = statement.at(index);
        if (!quote.isNull()) {
            if (each == quote)
                quote = QChar();
            numbered += each;
        } else if (each == QLatin1Char('\'') || each == QLatin1Char('"')) {
            quote = each;
            numbered += each;
        } else if (each == QLatin1Char('-') && statement.mid(index, 2) == QLatin1String("--")) {
            const qsizetype end = statement.indexOf(QLatin1Char('\n'), index);
            const qsizetype stop = end < 0 ? statement.size() : end;
            numbered += statement.mid(index, stop - index);
            index = stop - 1;
        } else if (each == QLatin1Char('?')) {
            numbered += QLatin1Char('$') + QString::number(next++);
        } else {
            numbered += each;
        }
    }
    return numbered;
}

void LibpqResult::clearAnswer()
{
    if (m_answer)
        m_pq->clear(m_answer);
    m_answer = nullptr;
    m_rows = 0;
}

bool LibpqResult::take(PGresult *answer)
{
    clearAnswer();
    setAt(QSql::BeforeFirstRow);
    const ExecStatusType status = answer ? m_pq->resultStatus(answer) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY) {
        setLastError(driver()->errorOf(QStringLiteral("Unable to run the statement"), answer,
                                       QSqlError::StatementError));
        m_pq->clear(answer);
        setActive(false);
        return false;
    }
    m_answer = answer;
    m_rows = status == PGRES_TUPLES_OK ? m_pq->ntuples(answer) : 0;
    setSelect(status == PGRES_TUPLES_OK);
    setActive(true);
    return true;
}

bool LibpqResult::reset(const QString &statement)
{
    clearAnswer();
    setActive(false);
    setAt(QSql::BeforeFirstRow);
    if (!driver() || !driver()->isOpen() || driver()->isOpenError())
        return false;
    setQuery(statement);
    return take(driver()->run(statement.toUtf8(), nullptr));
}

bool LibpqResult::prepare(const QString &statement)
{
    clearAnswer();
    setActive(false);
    setQuery(statement);
    m_statement = numberedPlaceholders(statement).toUtf8();
    return driver() && driver()->isOpen();
}

bool LibpqResult::exec()
{
    if (!driver() || !driver()->isOpen())
        return false;
    const QVariantList &values = boundValues();
    return take(driver()->run(m_statement, &values));
}

QVariant LibpqResult::data(int field)
{
    if (!m_answer || at() < 0 || at() >= m_rows || field < 0 || field >= m_pq->nfields(m_answer))
        return {};
    const Oid type = m_pq->ftype(m_answer, field);
    if (m_pq->getisnull(m_answer, at(), field))
        return QVariant(metaTypeOf(type));
    const char *text = m_pq->getvalue(m_answer, at(), field);
    switch (type) {
    case BoolType:
        return text[0] == 't';
    case ByteaType: {
        std::size_t length = 0;
        unsigned char *bytes =
            m_pq->unescapeBytea(reinterpret_cast<const unsigned char *>(text), &length);
        QByteArray value(reinterpret_cast<const char *>(bytes), qsizetype(length));
        m_pq->freemem(bytes);
        return value;
    }
    case Int2Type:
    case Int4Type:
        return QByteArray::fromRawData(text, qstrlen(text)).toInt();
    case Int8Type:
        return QByteArray::fromRawData(text, qstrlen(text)).toLongLong();
    case OidType:
        return QByteArray::fromRawData(text, qstrlen(text)).toUInt();
    case Float4Type:
    case Float8Type:
    case NumericType:
        return QByteArray::fromRawData(text, qstrlen(text)).toDouble();
    default:
        return QString::fromUtf8(text, m_pq->getlength(m_answer, at(), field));
    }
}

bool LibpqResult::isNull(int field)
{
    return !m_answer || at() < 0 || at() >= m_rows || m_pq->getisnull(m_answer, at(), field);
}

bool LibpqResult::fetch(int row)
{
    if (!isActive() || !isSelect() || row < 0 || row >= m_rows)
        return false;
    setAt(row);
    return true;
}

bool LibpqResult::fetchFirst()
{
    return fetch(0);
}

bool LibpqResult::fetchLast()
{
    return fetch(m_rows - 1);
}

int LibpqResult::size()
{
    return isSelect() ? m_rows : -1;
}

int LibpqResult::numRowsAffected()
{
    return m_answer ? QByteArray(m_pq->cmdTuples(m_answer)).toInt() : -1;
}

QSqlRecord LibpqResult::record() const
{
    QSqlRecord fields;
    if (!m_answer || !isSelect())
        return fields;
    for (int field = 0; field < m_pq->nfields(m_answer); ++field)
        fields.append(QSqlField(QString::fromUtf8(m_pq->fname(m_answer, field)),
                                metaTypeOf(m_pq->ftype(m_answer, field))));
    return fields;
}

void LibpqResult::detachFromResultSet()
{
    clearAnswer();
}
