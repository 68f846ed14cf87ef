#pragma once

#include "checkout/checkoutrecord.h"
#include "records/recordslocation.h"

#include <QList>
#include <QMap>
#include <QString>

#include <functional>

class QTextStream;
class RecordsOutbox;
class RecordsStore;

// Keeps the records of a checkout where the station was told to keep them, without ever
// losing one: what cannot be stored now (a server that is away, a file that cannot be written)
// goes to the local outbox with a warning and is sent at the next checkout or by
// `vornctl records sync`. Sending twice never stores twice.
//
//     RecordKeeper keeper(location);             // from RecordsLocation::choose()
//     keeper.keep(run.readers, warnings);        // after the checkout, whatever its outcome
class RecordKeeper
{
public:
    struct Kept
    {
        int stored = 0; // of the records given
        int queued = 0; // of the records given, in the outbox now
        int lost = 0;   // of the records given, neither stored nor in the outbox
        int sent = 0;   // from the outbox, before the records given
    };

    struct Synced
    {
        QString error; // the destination or the outbox could not be opened or written
        int sent = 0;
        int alreadyThere = 0;         // sent before without an acknowledgement
        int left = 0;                 // still waiting for the destination
        QMap<QString, int> elsewhere; // records waiting for other destinations
        bool ok() const { return error.isEmpty(); }
    };

    explicit RecordKeeper(RecordsLocation location,
                          RecordsLocation outbox = RecordsLocation::outboxLocation());

    const RecordsLocation &location() const { return m_location; }

    // Sends what the outbox holds for this location, then stores the records. Warnings (and a
    // note of records sent from the outbox) go to warnings, one line each. Safe to call from
    // several threads at once; on a PostgreSQL server they share the process's one connection
    // (see RecordsConnection).
    Kept keep(const QList<ReaderRecord> &records, QTextStream &warnings);
    // Sends what the outbox holds for this location.
    Synced sync();

private:
    // Runs work with the records database open; false with the reason when it cannot be.
    bool withStore(const std::function<bool(RecordsStore &)> &work, QString *error) const;
    void flush(RecordsStore &store, RecordsOutbox &outbox, Synced &synced);
    void queue(const QList<ReaderRecord> &records, const QString &reason, Kept &kept,
               QTextStream &warnings);

    RecordsLocation m_location;
    RecordsLocation m_outbox;
};
