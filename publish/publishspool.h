#pragma once

#include "store/recordsdatabase.h"
#include "store/recordslocation.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// Messages on their way to a broker, kept the outbox's way: a small SQLite file on the
// station, one row per message with the URL of the address it goes to, in the order they were
// made. A message is written here before it is sent, and leaves only once the broker has taken
// it; its text, and so its UniqueID, is the same on every try.
//
// A connection belongs to the thread that opened it: each thread opens a spool of its own on
// the same file.
class PublishSpool
{
public:
    struct Entry
    {
        qint64 sequence = 0;
        QString uniqueId;
        QString messageName;
        QByteArray body; // the envelope as compact JSON
    };

    explicit PublishSpool(const RecordsLocation &file);

    // ~/.local/share/vorn-tool/publish-spool.sqlite ($XDG_DATA_HOME), beside the records'
    // outbox.
    static RecordsLocation defaultLocation();

    bool open();
    QString errorText() const { return m_database.errorText(); }
    const RecordsLocation &location() const { return m_database.location(); }

    // Appends the envelopes for destination in one transaction, in their order; one that
    // already waits there (same UniqueID) is kept once.
    bool add(const QString &destination, const QList<QJsonObject> &envelopes);
    // Up to limit messages for destination after the sequence number after, oldest first;
    // nothing on failure.
    std::optional<QList<Entry>> next(const QString &destination, qint64 after, int limit);
    // Removes the messages the broker has taken, in one transaction.
    bool remove(const QList<qint64> &sequences);
    // How many messages wait, by destination.
    std::optional<QMap<QString, int>> counts();
    // Gives the messages that wait for from to destination to, in their order (one that waits
    // there already is kept once); how many were moved, nothing on failure.
    std::optional<int> move(const QString &from, const QString &to);
    // Discards the messages that wait for destination; how many, nothing on failure.
    std::optional<int> drop(const QString &destination);

private:
    RecordsDatabase m_database;
};
