#pragma once

#include "checkout/checkoutrecord.h"
#include "store/recordsdatabase.h"

#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// Records waiting for a database that could not be written when their checkout ended (a
// PostgreSQL server that was away): a small SQLite file on the station, each record with the
// URL of the database it belongs to. A record leaves the outbox only once that database has it.
class RecordsOutbox
{
public:
    explicit RecordsOutbox(const RecordsLocation &file);

    // A station whose records always went through has no outbox file: only adding a record
    // needs one made (the default); reading opens an existing one.
    bool open(RecordsDatabase::OpenMode mode = RecordsDatabase::OpenMode::CreateIfMissing);
    // After a failed open: there is no outbox, so nothing waits in it.
    bool isMissing() const { return m_database.isMissing(); }
    QString errorText() const { return m_database.errorText(); }
    const RecordsLocation &location() const { return m_database.location(); }

    // Idempotent: the same record for the same destination is held once.
    bool add(const QString &destination, const ReaderRecord &record);
    // The records waiting for destination, oldest first; nothing on failure. An entry that no
    // longer reads as a record is left where it is.
    std::optional<QList<ReaderRecord>> waiting(const QString &destination);
    bool remove(const QString &destination, const QString &id);
    // How many records wait, by destination.
    std::optional<QMap<QString, int>> counts();

private:
    RecordsDatabase m_database;
};
