#pragma once

#include "publish/cfxmessages.h"
#include "publish/publishspool.h"
#include "store/recordslocation.h"

#include <QList>
#include <QString>

// The messages that tell a checkout's end (UnitsTested, WorkCompleted), waiting in the spool
// file for the broker at url; none when the spool cannot be read.
inline QList<PublishSpool::Entry> spooledEnds(const QString &spoolFile, const QString &url)
{
    PublishSpool spool(*RecordsLocation::parse(QStringLiteral("sqlite:") + spoolFile, nullptr));
    QList<PublishSpool::Entry> ends;
    if (!spool.open())
        return ends;
    for (const PublishSpool::Entry &entry : spool.next(url, 0, 100).value_or(ends)) {
        if (entry.messageName != CfxMessages::WorkStartedName)
            ends.append(entry);
    }
    return ends;
}
