#include "publish/storedcheckoutpublisher.h"

#include "publish/cfxmessages.h"
#include "publish/publisher.h"

#include <QJsonObject>

#include <mutex>

namespace {

// The chosen records, oldest first, as their messages; false with the reason when the records
// cannot be read.
bool envelopesOf(const RecordsLocation &records, const RecordsQuery &query, const QString &handle,
                 QList<QJsonObject> &envelopes, qsizetype &checkouts, QString &error)
{
    // Reading never makes a records file: a path with a typo is reported, not created.
    RecordsStore store(records);
    if (!store.open(RecordsStore::OpenMode::ExistingOnly)) {
        error = store.errorText();
        return false;
    }
    const std::optional<QList<RecordSummary>> summaries = store.list(query);
    if (!summaries) {
        error = store.errorText();
        return false;
    }
    for (auto summary = summaries->crbegin(); summary != summaries->crend(); ++summary) {
        std::optional<ReaderRecord> record;
        if (!store.find(summary->id, record)) {
            error = store.errorText();
            return false;
        }
        if (!record)
            continue;
        // Which of the station's ports the reader sat on is not kept with the record.
        envelopes.append(CfxMessages::wholeCheckout(
            *record, {handle.isEmpty() ? CfxMessages::defaultHandle(record->station) : handle,
                      std::nullopt}));
        ++checkouts;
    }
    return true;
}

} // namespace

StoredCheckoutPublisher::Published
StoredCheckoutPublisher::publish(const RecordsLocation &records,
                                 const std::optional<RecordsQuery> &query, const QString &handle,
                                 std::chrono::seconds patience) const
{
    Published chosen;
    QList<QJsonObject> envelopes;
    if (query &&
        !envelopesOf(records, *query, handle, envelopes, chosen.checkouts, chosen.recordsError))
        return chosen;
    Published published = send(envelopes, patience);
    published.checkouts = chosen.checkouts;
    return published;
}

StoredCheckoutPublisher::Published
StoredCheckoutPublisher::send(const QList<QJsonObject> &envelopes,
                              std::chrono::seconds patience) const
{
    Published published;
    published.messages = envelopes.size();
    std::mutex warningsLock;
    QStringList warnings;
    {
        Publisher publisher(m_target);
        publisher.setWarningHandler([&warningsLock, &warnings](const QString &warning) {
            const std::lock_guard lock(warningsLock);
            warnings.append(warning);
        });
        published.spoolPath = publisher.spoolLocation().path;
        published.spooled = envelopes.isEmpty() || publisher.publish(envelopes);
        if (published.spooled) {
            // A long backlog takes as long as it takes, as long as the broker keeps taking
            // messages.
            Publisher::Sent sent = publisher.sendWaiting(patience);
            for (int before = -1;
                 sent == Publisher::Sent::TimedOut && publisher.sentCount() > before;) {
                before = publisher.sentCount();
                sent = publisher.sendWaiting(patience);
            }
            published.sentAll = sent == Publisher::Sent::All;
            published.sent = publisher.sentCount();
            published.waiting = publisher.waitingCount();
        }
    }
    published.warnings = warnings;
    return published;
}
