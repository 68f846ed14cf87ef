#pragma once

#include "publish/publishtarget.h"
#include "store/recordslocation.h"
#include "store/recordsstore.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// Puts checkouts already in the records on the line's message bus again (a broker that was
// added later, a consumer that lost its data): each chosen record, oldest first, as its three
// messages, with the very UniqueIDs the station sent when it was made, so a consumer that has
// them already drops the copies. Then sends what the spool holds for the broker, the backlog
// of earlier checkouts included.
class StoredCheckoutPublisher
{
public:
    struct Published
    {
        QString recordsError; // the records could not be read: nothing was published
        bool spooled = true;  // false: the chosen messages could not be kept in the spool
        qsizetype checkouts = 0;
        qsizetype messages = 0;
        int sent = 0;         // messages the broker took
        bool sentAll = false; // the spool holds nothing more for the broker
        int waiting = 0;      // what still waits in the spool
        QString spoolPath;
        QStringList warnings; // the publisher's, one line each
    };

    explicit StoredCheckoutPublisher(PublishTarget target) : m_target(std::move(target)) {}

    // handle: the Source of every message; empty: each record's station's default handle.
    // query: the records chosen; nothing: none, only what waits in the spool. patience: how long
    // the broker may go without taking a message before the rest is left in the spool.
    Published publish(const RecordsLocation &records, const std::optional<RecordsQuery> &query,
                      const QString &handle, std::chrono::seconds patience) const;
    // Puts further messages (a repair's) on the bus through the spool, after its backlog.
    Published send(const QList<QJsonObject> &envelopes, std::chrono::seconds patience) const;

private:
    PublishTarget m_target;
};
