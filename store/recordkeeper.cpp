#include "store/recordkeeper.h"

#include "store/recordsconnection.h"
#include "store/recordsoutbox.h"
#include "store/recordsstore.h"

#include <QCoreApplication>
#include <QTextStream>

#include <utility>

namespace {

QString prefix()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QString() : name + QStringLiteral(": ");
}

QString recordsWord(int count)
{
    return count == 1 ? QStringLiteral("1 record") : QStringLiteral("%1 records").arg(count);
}

} // namespace

RecordKeeper::RecordKeeper(RecordsLocation location, RecordsLocation outbox)
    : m_location(std::move(location)), m_outbox(std::move(outbox))
{
}

RecordKeeper::Kept RecordKeeper::keep(const QList<ReaderRecord> &records, QTextStream &warnings)
{
    Kept kept;
    if (m_location.isNone())
        return kept;
    const QList<ReaderRecord> toKeep = withIds(records);
    // With the database open: what waits in the outbox first, then the records given. Safe to
    // run again: a record sent twice is kept once.
    QList<ReaderRecord> unstored;
    QString reason;
    const auto storeAll = [&](RecordsStore &store) {
        kept.sent = 0;
        unstored.clear();
        // The outbox file exists only once a record had to wait: a station whose records
        // always went through neither makes one nor reads one at every checkout.
        RecordsOutbox outbox(m_outbox);
        if (outbox.open(RecordsDatabase::OpenMode::ExistingOnly)) {
            Synced synced;
            flush(store, outbox, synced);
            kept.sent = synced.sent + synced.alreadyThere;
        }
        for (const ReaderRecord &record : toKeep) {
            if (store.store(record) == RecordsStore::Stored::Failed) {
                unstored.append(record);
                reason = store.errorText();
            }
        }
        return unstored.isEmpty();
    };
    if (!withStore(storeAll, &reason))
        unstored = toKeep;
    kept.stored = int(toKeep.size() - unstored.size());
    if (kept.sent > 0)
        warnings << prefix()
                 << QStringLiteral("sent %1 waiting in the outbox to %2\n")
                        .arg(recordsWord(kept.sent), m_location.description());
    if (!unstored.isEmpty())
        queue(unstored, reason, kept, warnings);
    warnings.flush();
    return kept;
}

RecordKeeper::Kept RecordKeeper::keep(const QList<ReaderRecord> &records, RecordsStore &openStore,
                                      QTextStream &warnings)
{
    Kept kept;
    if (m_location.isNone())
        return kept;
    const QList<ReaderRecord> toKeep = withIds(records);

    // The outbox file exists only once a record had to wait: a station whose records always
    // went through neither makes one nor reads one at every checkout.
    RecordsOutbox outbox(m_outbox);
    if (outbox.open(RecordsDatabase::OpenMode::ExistingOnly)) {
        Synced synced;
        flush(openStore, outbox, synced);
        kept.sent = synced.sent + synced.alreadyThere;
        if (kept.sent > 0)
            warnings << prefix()
                     << QStringLiteral("sent %1 waiting in the outbox to %2\n")
                            .arg(recordsWord(kept.sent), m_location.description());
    }

    QList<ReaderRecord> unstored;
    QString reason;
    for (const ReaderRecord &record : toKeep) {
        if (openStore.store(record) == RecordsStore::Stored::Failed) {
            unstored.append(record);
            reason = openStore.errorText();
        } else {
            ++kept.stored;
        }
    }
    if (!unstored.isEmpty())
        queue(unstored, reason, kept, warnings);
    warnings.flush();
    return kept;
}

RecordKeeper::Kept RecordKeeper::keepInOutbox(const QList<ReaderRecord> &records,
                                              const QString &reason, QTextStream &warnings)
{
    Kept kept;
    if (m_location.isNone())
        return kept;
    queue(withIds(records), reason, kept, warnings);
    return kept;
}

QList<ReaderRecord> RecordKeeper::withIds(const QList<ReaderRecord> &records)
{
    // A record without its id could neither be found again nor be told from a copy of itself.
    QList<ReaderRecord> identified = records;
    for (ReaderRecord &record : identified) {
        if (record.id.isEmpty())
            record.id = ReaderRecord::newId();
    }
    return identified;
}

bool RecordKeeper::withStore(const std::function<bool(RecordsStore &)> &work, QString *error) const
{
    // A server is shared by the whole line: the process's one connection to it. A file is
    // opened for the records at hand, as any number of processes may.
    if (m_location.kind == RecordsLocation::Kind::PostgreSql)
        return RecordsConnection::to(m_location).run(work, error);
    RecordsStore store(m_location);
    if (!store.open()) {
        *error = store.errorText();
        return false;
    }
    work(store);
    return true;
}

RecordKeeper::Synced RecordKeeper::sync()
{
    // Sending reads the outbox and writes to a database that a checkout made: it makes
    // neither of them.
    Synced synced;
    RecordsStore store(m_location);
    const bool storeOpen = store.open(RecordsStore::OpenMode::ExistingOnly);
    if (!storeOpen)
        synced.error = store.errorText();
    RecordsOutbox outbox(m_outbox);
    if (!outbox.open(RecordsDatabase::OpenMode::ExistingOnly)) {
        // No outbox: nothing waits.
        if (!outbox.isMissing() && synced.ok())
            synced.error = outbox.errorText();
        return synced;
    }
    if (storeOpen)
        flush(store, outbox, synced);
    if (const auto counts = outbox.counts()) {
        synced.elsewhere = *counts;
        synced.left = synced.elsewhere.take(m_location.url());
    }
    return synced;
}

void RecordKeeper::flush(RecordsStore &store, RecordsOutbox &outbox, Synced &synced)
{
    const QString destination = m_location.url();
    const std::optional<QList<ReaderRecord>> waiting = outbox.waiting(destination);
    if (!waiting) {
        synced.error = outbox.errorText();
        return;
    }
    // Removed from the outbox only once the destination has it: a record whose
    // acknowledgement was lost is sent again, and the destination keeps it once.
    for (const ReaderRecord &record : *waiting) {
        const RecordsStore::Stored stored = store.store(record);
        if (stored == RecordsStore::Stored::Failed) {
            synced.error = store.errorText();
            return;
        }
        ++(stored == RecordsStore::Stored::Added ? synced.sent : synced.alreadyThere);
        if (!outbox.remove(destination, record.id)) {
            synced.error = outbox.errorText();
            return;
        }
    }
}

void RecordKeeper::queue(const QList<ReaderRecord> &records, const QString &reason, Kept &kept,
                         QTextStream &warnings)
{
    warnings << prefix()
             << QStringLiteral("warning: cannot store the checkout records: %1\n").arg(reason);
    RecordsOutbox outbox(m_outbox);
    const bool opened = outbox.open();
    for (const ReaderRecord &record : records) {
        if (opened && outbox.add(m_location.url(), record)) {
            ++kept.queued;
        } else {
            ++kept.lost;
            warnings << prefix()
                     << QStringLiteral("the record %1 of %2 was not kept: %3\n")
                            .arg(record.id, record.port, outbox.errorText());
        }
    }
    if (kept.queued > 0)
        warnings << prefix()
                 << QStringLiteral("%1 kept in the outbox %2; 'vornctl records sync' or the "
                                   "next checkout sends them\n")
                        .arg(recordsWord(kept.queued), m_outbox.path);
    warnings.flush();
}
