#pragma once

#include "checkout/foundsettings.h"

#include <QList>
#include <QString>

// Where a checkout notes, before it changes a reader, what it found, so that a checkout that
// never ended (killed, the power cut) can still be undone: the next checkout of the port, or
// 'vornctl restore', puts the reader back. A normal end forgets the note. Called from the
// readers' threads at once, each for its own port.
class ReaderJournal
{
public:
    virtual ~ReaderJournal() = default;

    // What unfinished checkouts of port left noted, one entry per reader.
    virtual QList<FoundSettings> left(const QString &port) const = 0;
    // Notes settings in place of what was noted for their port and reader, safe on disk when
    // this returns; why not, when it could not.
    virtual QString keep(const FoundSettings &settings) = 0;
    virtual void forget(const QString &port, int serialNumber) = 0;
};
