#include "station/recordsworker.h"

#include "documents/recordcertificate.h"
#include "store/chainverifier.h"
#include "store/readerlife.h"

#include <QTextStream>

RecordsService::Policy RecordsWorker::policy()
{
    RecordsService::Policy policy;
    policy.unansweredAfterMs = UnansweredAfterMs;
    policy.retryAfterMs = RetryAfterMs;
    policy.finishQueuedWork = true;
    return policy;
}

RecordsWorker::RecordsWorker(RecordsLocation location, RecordsLocation outbox)
    : m_location(std::move(location)), m_outbox(std::move(outbox))
{
}

bool RecordsWorker::keep(RecordsService::Session &session, const ReaderRecord &record,
                         KeepResult &result) const
{
    result.recordId = record.id;
    result.port = record.port;
    result.serial = record.serialText();
    QTextStream warnings(&result.warnings);
    RecordKeeper keeper(m_location, m_outbox);
    bool storeHeld = true;
    if (m_location.isNone()) {
        // Nothing to keep, and nothing to warn about: the station was told to keep no records.
    } else if (RecordsStore *open = session.store()) {
        result.kept = keeper.keep({record}, *open, warnings);
        storeHeld = result.kept.stored > 0;
    } else {
        result.kept = keeper.keepInOutbox({record}, session.failure(), warnings);
    }
    warnings.flush();
    result.warnings = result.warnings.trimmed();
    return storeHeld;
}

bool RecordsWorker::readYield(RecordsService::Session &session, const QString &station,
                              const QDateTime &dayStart, const QDateTime &dayEnd,
                              YieldResult &result) const
{
    RecordsStore *open = session.store();
    if (!open) {
        result.error = session.failure();
        return true;
    }
    result.yield = YieldReport::stationToday(*open, station, dayStart, dayEnd);
    if (!result.yield)
        result.error = open->errorText();
    return result.yield.has_value();
}

bool RecordsWorker::list(RecordsService::Session &session, const RecordsQuery &query,
                         ListResult &result) const
{
    RecordsStore *open = session.store();
    if (!open) {
        result.error = session.failure();
        return true;
    }
    result.summaries = open->list(query);
    if (!result.summaries)
        result.error = open->errorText();
    return result.summaries.has_value();
}

bool RecordsWorker::read(RecordsService::Session &session, const QString &id,
                         ReadResult &result) const
{
    result.id = id;
    RecordsStore *open = session.store();
    if (!open) {
        result.error = session.failure();
        return true;
    }
    if (!open->find(id, result.record)) {
        result.error = open->errorText();
        return false;
    }
    if (!result.record) {
        result.error = QStringLiteral("no record has this id");
    } else if (const std::optional<int> serial = result.record->serialNumber) {
        // The reader's whole life, offered beside the record.
        if (const auto events = ReaderLife(*open).history(*serial))
            result.history = ReaderLife::historyText(*serial, *events);
    }
    return true;
}

bool RecordsWorker::writeCertificate(RecordsService::Session &session, const QString &id,
                                     const QString &path, CertificateResult &result) const
{
    result.path = path;
    std::optional<ReaderRecord> record;
    std::optional<RepairRecord> repair;
    QString keptHash;
    bool storeHeld = true;
    if (RecordsStore *open = session.store()) {
        if (!open->find(id, record)) {
            result.error = open->errorText();
            storeHeld = false;
        } else if (!record) {
            result.error = QStringLiteral("no record has the id %1").arg(id);
        } else {
            repair = ReaderLife(*open).repairBehind(*record);
            keptHash = ChainVerifier(open->database()).keptHash(id).value_or(QString());
        }
    } else {
        result.error = session.failure();
    }
    if (record)
        result.written = RecordCertificate::write(*record, path, &result.error, repair, keptHash);
    return storeHeld;
}
