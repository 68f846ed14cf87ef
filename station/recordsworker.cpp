#include "station/recordsworker.h"

#include "records/readerlife.h"
#include "records/recordcertificate.h"

#include <QTextStream>

// Tells the window that a request is being worked on, and when it is done.
class RecordsWorker::Request
{
public:
    explicit Request(RecordsWorker &worker) : m_worker(worker) { emit m_worker.working(true); }
    ~Request() { emit m_worker.working(false); }
    Request(const Request &) = delete;
    Request &operator=(const Request &) = delete;

private:
    RecordsWorker &m_worker;
};

RecordsWorker::RecordsWorker(RecordsLocation location, RecordsLocation outbox)
    : m_location(std::move(location)), m_outbox(std::move(outbox))
{
}

RecordsWorker::~RecordsWorker() = default;

RecordsStore *RecordsWorker::store()
{
    if (m_store)
        return m_store.get();
    if (m_unanswered && m_failedAt.isValid() && m_failedAt.elapsed() < RetryAfterMs)
        return nullptr;
    QElapsedTimer attempt;
    attempt.start();
    auto store = std::make_unique<RecordsStore>(m_location);
    if (!store->open()) {
        m_failure = store->errorText();
        m_unanswered = attempt.elapsed() >= UnansweredAfterMs;
        m_failedAt.start();
        return nullptr;
    }
    m_store = std::move(store);
    m_failure.clear();
    m_unanswered = false;
    return m_store.get();
}

void RecordsWorker::dropStore()
{
    m_store.reset();
}

void RecordsWorker::reportReach()
{
    emit reached(!m_unanswered || m_store != nullptr, m_failure);
}

void RecordsWorker::keep(const ReaderRecord &record)
{
    const Request request(*this);
    KeepResult result;
    result.recordId = record.id;
    result.port = record.port;
    result.serial = record.serialText();
    QTextStream warnings(&result.warnings);
    RecordKeeper keeper(m_location, m_outbox);
    if (m_location.isNone()) {
        // Nothing to keep, and nothing to warn about: the station was told to keep no records.
    } else if (RecordsStore *open = store()) {
        result.kept = keeper.keep({record}, *open, warnings);
        if (result.kept.stored == 0)
            dropStore();
    } else {
        result.kept = keeper.keepInOutbox({record}, m_failure, warnings);
    }
    warnings.flush();
    result.warnings = result.warnings.trimmed();
    reportReach();
    emit kept(result);
}

void RecordsWorker::readYield(const QString &station, const QDateTime &dayStart,
                              const QDateTime &dayEnd)
{
    if (!m_reading)
        return;
    const Request request(*this);
    YieldResult result;
    if (RecordsStore *open = store()) {
        result.yield = YieldReport::stationToday(*open, station, dayStart, dayEnd);
        if (!result.yield) {
            result.error = open->errorText();
            dropStore();
        }
    } else {
        result.error = m_failure;
    }
    reportReach();
    emit yieldRead(result);
}

void RecordsWorker::list(const RecordsQuery &query)
{
    if (!m_reading)
        return;
    const Request request(*this);
    ListResult result;
    if (RecordsStore *open = store()) {
        result.summaries = open->list(query);
        if (!result.summaries) {
            result.error = open->errorText();
            dropStore();
        }
    } else {
        result.error = m_failure;
    }
    reportReach();
    emit listed(result);
}

void RecordsWorker::read(const QString &id)
{
    if (!m_reading)
        return;
    const Request request(*this);
    ReadResult result;
    result.id = id;
    if (RecordsStore *open = store()) {
        if (!open->find(id, result.record)) {
            result.error = open->errorText();
            dropStore();
        } else if (!result.record) {
            result.error = QStringLiteral("no record has this id");
        } else if (const std::optional<int> serial = result.record->serialNumber) {
            // The reader's whole life, offered beside the record.
            if (const auto events = ReaderLife(*open).history(*serial))
                result.history = ReaderLife::historyText(*serial, *events);
        }
    } else {
        result.error = m_failure;
    }
    reportReach();
    emit recordRead(result);
}

void RecordsWorker::writeCertificate(const QString &id, const QString &path)
{
    if (!m_reading)
        return;
    const Request request(*this);
    CertificateResult result;
    result.path = path;
    std::optional<ReaderRecord> record;
    std::optional<RepairRecord> repair;
    if (RecordsStore *open = store()) {
        if (!open->find(id, record)) {
            result.error = open->errorText();
            dropStore();
        } else if (!record) {
            result.error = QStringLiteral("no record has the id %1").arg(id);
        } else {
            repair = ReaderLife(*open).repairBehind(*record);
        }
    } else {
        result.error = m_failure;
    }
    reportReach();
    if (record)
        result.written = RecordCertificate::write(*record, path, &result.error, repair);
    emit certificateWritten(result);
}

void RecordsWorker::close()
{
    m_store.reset();
}
