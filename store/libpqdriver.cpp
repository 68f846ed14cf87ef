#include "store/libpqdriver.h"

#include "store/libpqapi.h"
#include "store/libpqresult.h"

#include <QDateTime>
#include <QSqlError>
#include <QVariant>

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace {

// The type a value is sent as: bytes as bytea in binary (no escaping, no encoding), the rest
// as text whose type the server takes from where the value stands, as it would a quoted
// literal.
constexpr Oid ByteaType = 17;

struct BoundValues
{
    std::vector<QByteArray> texts;
    std::vector<const char *> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    std::vector<Oid> types;
};

QByteArray textOf(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
    case QMetaType::Double:
    case QMetaType::Float:
        return QByteArray::number(value.toDouble(), 'g', 17);
    case QMetaType::QDateTime:
        return value.toDateTime().toUTC().toString(Qt::ISODateWithMs).toUtf8();
    default:
        return value.toString().toUtf8();
    }
}

BoundValues bind(const QVariantList &list)
{
    BoundValues bound;
    const std::size_t count = list.size();
    bound.texts.reserve(count);
    for (const QVariant &value : list) {
        const bool bytes = value.typeId() == QMetaType::QByteArray;
        bound.texts.push_back(value.isNull() ? QByteArray()
                              : bytes        ? value.toByteArray()
                                             : textOf(value));
        bound.formats.push_back(bytes ? 1 : 0);
        bound.types.push_back(bytes ? ByteaType : 0);
        bound.lengths.push_back(int(bound.texts.back().size()));
    }
    for (std::size_t index = 0; index < count; ++index)
        bound.values.push_back(list.at(qsizetype(index)).isNull() ? nullptr
                                                                  : bound.texts[index].constData());
    return bound;
}

bool succeeded(const LibpqApi &pq, const PGresult *result)
{
    if (!result)
        return false;
    const ExecStatusType status = pq.resultStatus(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY;
}

// The server's notices ("relation already exists, skipping") are not the technician's business.
void dropNotice(void * /*unused*/, const char * /*message*/) {}

} // namespace

LibpqDriver::LibpqDriver(QMap<QString, QString> parameters, Access access, QObject *parent)
    : QSqlDriver(parent), m_parameters(std::move(parameters)), m_access(access),
      m_pq(LibpqApi::load(&m_loadFailure))
{
}

LibpqDriver::~LibpqDriver()
{
    close();
}

bool LibpqDriver::hasFeature(DriverFeature feature) const
{
    switch (feature) {
    case Transactions:
    case QuerySize:
    case BLOB:
    case Unicode:
    case PreparedQueries:
    case PositionalPlaceholders:
    case FinishQuery:
        return true;
    default:
        return false;
    }
}

bool LibpqDriver::open(const QString & /*database*/, const QString & /*user*/,
                       const QString & /*password*/, const QString & /*host*/, int /*port*/,
                       const QString & /*options*/)
{
    close();
    if (!m_pq) {
        setLastError(QSqlError(QStringLiteral("Unable to connect"), m_loadFailure,
                               QSqlError::ConnectionError));
        setOpenError(true);
        return false;
    }
    QMap<QString, QString> parameters = m_parameters;
    parameters.insert(QStringLiteral("client_encoding"), QStringLiteral("UTF8"));
    std::vector<QByteArray> texts;
    for (auto each = parameters.cbegin(); each != parameters.cend(); ++each) {
        texts.push_back(each.key().toUtf8());
        texts.push_back(each.value().toUtf8());
    }
    std::vector<const char *> keywords;
    std::vector<const char *> values;
    for (std::size_t index = 0; index < texts.size(); index += 2) {
        keywords.push_back(texts[index].constData());
        values.push_back(texts[index + 1].constData());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    m_connection = m_pq->connectdbParams(keywords.data(), values.data(), 0);
    if (!m_connection || m_pq->status(m_connection) != CONNECTION_OK) {
        const QString reason = m_connection ? QString::fromUtf8(m_pq->errorMessage(m_connection))
                                            : QStringLiteral("out of memory");
        setLastError(
            QSqlError(QStringLiteral("Unable to connect"), reason, QSqlError::ConnectionError));
        close();
        setOpenError(true);
        return false;
    }
    m_pq->setNoticeProcessor(m_connection, dropNotice, nullptr);
    setOpen(true);
    setOpenError(false);
    return true;
}

void LibpqDriver::close()
{
    if (m_connection)
        m_pq->finish(m_connection);
    m_connection = nullptr;
    m_inTransaction = false;
    m_beginPending = false;
    m_deferNext = false;
    m_atCommit.clear();
    setOpen(false);
}

QSqlResult *LibpqDriver::createResult() const
{
    return new LibpqResult(this);
}

bool LibpqDriver::runCommand(const char *command)
{
    PGresult *result = m_pq->exec(m_connection, command);
    const bool ok = succeeded(*m_pq, result);
    if (!ok)
        setLastError(errorOf(QString::fromLatin1(command), result, QSqlError::TransactionError));
    m_pq->clear(result);
    return ok;
}

const char *LibpqDriver::beginCommand() const
{
    return m_access == ReadOnly ? "BEGIN READ ONLY" : "BEGIN";
}

bool LibpqDriver::beginTransaction()
{
    if (!isOpen())
        return false;
    m_inTransaction = true;
    m_beginPending = true;
    m_deferNext = false;
    m_atCommit.clear();
    return true;
}

bool LibpqDriver::commitTransaction()
{
    if (!isOpen())
        return false;
    m_inTransaction = false;
    std::vector<Statement> batch;
    if (std::exchange(m_beginPending, false)) {
        if (m_atCommit.empty())
            return true; // nothing was asked: nothing to commit
        batch.push_back({beginCommand(), {}});
    }
    batch.insert(batch.end(), m_atCommit.begin(), m_atCommit.end());
    m_atCommit.clear();
    m_deferNext = false;
    batch.push_back({"COMMIT", {}});
    PGresult *result = batch.size() == 1 ? m_pq->exec(m_connection, "COMMIT")
                                         : firstFailedOrLast(runTogether(batch));
    // A transaction that failed answers COMMIT with ROLLBACK: that is no commit.
    const bool ok = succeeded(*m_pq, result) && qstrcmp(m_pq->cmdStatus(result), "COMMIT") == 0;
    if (!ok)
        setLastError(errorOf(QStringLiteral("COMMIT"), result, QSqlError::TransactionError));
    m_pq->clear(result);
    return ok;
}

bool LibpqDriver::rollbackTransaction()
{
    if (!isOpen())
        return false;
    m_inTransaction = false;
    m_atCommit.clear();
    m_deferNext = false;
    if (std::exchange(m_beginPending, false))
        return true; // never begun on the server
    return runCommand("ROLLBACK");
}

std::vector<PGresult *> LibpqDriver::runTogether(const std::vector<Statement> &statements)
{
    std::vector<PGresult *> answers;
    if (m_pq->enterPipelineMode(m_connection) != 1)
        return std::vector<PGresult *>(statements.size(), nullptr);
    bool sent = true;
    for (const Statement &each : statements) {
        const BoundValues bound = bind(each.values);
        sent = m_pq->sendQueryParams(m_connection, each.text.constData(), int(bound.values.size()),
                                     bound.types.data(), bound.values.data(), bound.lengths.data(),
                                     bound.formats.data(), 0) == 1;
        if (!sent)
            break;
    }
    sent = sent && m_pq->pipelineSync(m_connection) == 1;
    // Each statement's answer and the null that ends it, then the sync's; a connection that
    // broke answers once with its error, then nothing.
    while (sent && answers.size() < statements.size()) {
        PGresult *answer = m_pq->getResult(m_connection);
        answers.push_back(answer);
        if (!answer)
            break;
        while (PGresult *more = m_pq->getResult(m_connection))
            m_pq->clear(more);
    }
    if (sent && answers.size() == statements.size() && answers.back())
        m_pq->clear(m_pq->getResult(m_connection)); // the sync
    m_pq->exitPipelineMode(m_connection);
    answers.resize(statements.size(), nullptr);
    return answers;
}

PGresult *LibpqDriver::firstFailedOrLast(std::vector<PGresult *> answers)
{
    auto kept = std::find_if(answers.begin(), answers.end(),
                             [this](const PGresult *answer) { return !succeeded(*m_pq, answer); });
    if (kept == answers.end())
        kept = std::prev(answers.end());
    PGresult *answer = std::exchange(*kept, nullptr);
    for (PGresult *other : answers)
        m_pq->clear(other);
    return answer;
}

PGresult *LibpqDriver::runAlone(const QByteArray &statement, const QVariantList *values)
{
    if (m_inTransaction && values && std::exchange(m_deferNext, false)) {
        m_atCommit.push_back({statement, *values});
        return m_pq->makeEmptyResult(m_connection, PGRES_COMMAND_OK);
    }
    if (std::exchange(m_beginPending, false)) {
        // Text alone may hold several statements, which one round trip with BEGIN cannot.
        if (values)
            return firstFailedOrLast(runTogether({{beginCommand(), {}}, {statement, *values}}));
        PGresult *begun = m_pq->exec(m_connection, beginCommand());
        if (!succeeded(*m_pq, begun))
            return begun;
        m_pq->clear(begun);
    }
    if (!values)
        return m_pq->exec(m_connection, statement.constData());
    const BoundValues bound = bind(*values);
    return m_pq->execParams(m_connection, statement.constData(), int(bound.values.size()),
                            bound.types.data(), bound.values.data(), bound.lengths.data(),
                            bound.formats.data(), 0);
}

PGresult *LibpqDriver::run(const QByteArray &statement, const QVariantList *values)
{
    if (m_access != ReadOnly || m_inTransaction)
        return runAlone(statement, values);
    PGresult *begun = m_pq->exec(m_connection, "BEGIN READ ONLY");
    if (!succeeded(*m_pq, begun))
        return begun;
    m_pq->clear(begun);
    PGresult *answer = runAlone(statement, values);
    PGresult *ended = m_pq->exec(m_connection, succeeded(*m_pq, answer) ? "COMMIT" : "ROLLBACK");
    if (succeeded(*m_pq, answer) && !succeeded(*m_pq, ended)) {
        m_pq->clear(answer);
        return ended;
    }
    m_pq->clear(ended);
    return answer;
}

QSqlError LibpqDriver::errorOf(const QString &what, PGresult *result,
                               QSqlError::ErrorType type) const
{
    QString reason = result ? QString::fromUtf8(m_pq->resultErrorMessage(result)) : QString();
    if (reason.isEmpty() && m_connection)
        reason = QString::fromUtf8(m_pq->errorMessage(m_connection));
    const QString code =
        result ? QString::fromLatin1(m_pq->resultErrorField(result, PG_DIAG_SQLSTATE)) : QString();
    return QSqlError(what, reason.trimmed(), type, code);
}

QStringList LibpqDriver::tables(QSql::TableType type) const
{
    QStringList names;
    if (!isOpen() || !(type & (QSql::Tables | QSql::Views)))
        return names;
    QStringList kinds;
    if (type & QSql::Tables)
        kinds << QStringLiteral("'r'") << QStringLiteral("'p'");
    if (type & QSql::Views)
        kinds << QStringLiteral("'v'");
    const QByteArray statement =
        QStringLiteral("SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = "
                       "c.relnamespace WHERE c.relkind IN (%1) AND n.nspname = ANY "
                       "(current_schemas(false))")
            .arg(kinds.join(QLatin1Char(',')))
            .toUtf8();
    PGresult *result = const_cast<LibpqDriver *>(this)->run(statement, nullptr);
    if (m_pq->resultStatus(result) == PGRES_TUPLES_OK) {
        for (int row = 0; row < m_pq->ntuples(result); ++row)
            names.append(QString::fromUtf8(m_pq->getvalue(result, row, 0)));
    }
    m_pq->clear(result);
    return names;
}

QString LibpqDriver::escapeIdentifier(const QString &identifier, IdentifierType /*type*/) const
{
    if (isIdentifierEscaped(identifier, TableName))
        return identifier;
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}
