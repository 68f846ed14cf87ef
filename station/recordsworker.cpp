#include "station/recordsworker.h"

#include <QTextStream>

namespace {

// Whether the store held under a use case that gave no answer: only a failure of the records
// gives the connection up.
bool storeHeld(const RecordsProblem &problem)
{
    return problem.kind != RecordsProblem::Kind::Failed;
}

} // namespace

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
    const RecordsAnswer<StationYield> yield =
        LineRecords(*open).stationDay(station, dayStart, dayEnd);
    if (!yield) {
        result.error = yield.problem().text;
        return storeHeld(yield.problem());
    }
    result.yield = *yield;
    return true;
}

bool RecordsWorker::list(RecordsService::Session &session, const RecordsFilter &filter, int limit,
                         ListResult &result) const
{
    RecordsStore *open = session.store();
    if (!open) {
        result.error = session.failure();
        return true;
    }
    const RecordsAnswer<QList<RecordSummary>> summaries =
        LineRecords(*open).list(filter, {std::nullopt, limit});
    if (!summaries) {
        result.error = summaries.problem().text;
        return storeHeld(summaries.problem());
    }
    result.summaries = *summaries;
    return true;
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
    const RecordsAnswer<RecordFile> found = LineRecords(*open).find(id);
    if (!found) {
        result.error = found.problem().text;
        return storeHeld(found.problem());
    }
    result.file = *found;
    return true;
}

bool RecordsWorker::writeCertificate(RecordsService::Session &session, const QString &id,
                                     const QString &path, CertificateResult &result) const
{
    result.path = path;
    RecordsStore *open = session.store();
    if (!open) {
        result.error = session.failure();
        return true;
    }
    const RecordsAnswer<QString> written = LineRecords(*open).writeCertificate(id, path);
    if (!written) {
        result.error = written.problem().text;
        return storeHeld(written.problem());
    }
    result.written = true;
    return true;
}
