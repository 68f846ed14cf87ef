#pragma once

#include "checkout/checkoutrecord.h"
#include "store/recordslocation.h"

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
    // The same through a store of this location that the caller keeps open from one checkout
    // to the next (a station's records thread), instead of a connection of its own each time.
    Kept keep(const QList<ReaderRecord> &records, RecordsStore &openStore, QTextStream &warnings);
    // The records straight to the outbox, for a caller that already knows the location cannot
    // take them now (its store did not open, for the reason given).
    Kept keepInOutbox(const QList<ReaderRecord> &records, const QString &reason,
                      QTextStream &warnings);
    // Sends what the outbox holds for this location.
    Synced sync();

private:
    static QList<ReaderRecord> withIds(const QList<ReaderRecord> &records);
    // Runs work with the records database open; false with the reason when it cannot be.
    bool withStore(const std::function<bool(RecordsStore &)> &work, QString *error) const;
    void flush(RecordsStore &store, RecordsOutbox &outbox, Synced &synced);
    void queue(const QList<ReaderRecord> &records, const QString &reason, Kept &kept,
               QTextStream &warnings);

    RecordsLocation m_location;
    RecordsLocation m_outbox;
};
