#pragma once

#include "checkout/foundsettings.h"

#include <QString>
#include <QStringList>

class ReaderCommands;
class ReaderJournal;

// Puts a reader's selected slot and clocks back as a checkout found them: at the end of every
// checkout, and first thing for what an unfinished one left noted in the journal.
class SettingsRestore
{
public:
    explicit SettingsRestore(ReaderCommands &reader) : m_reader(reader) {}

    // True when the reader reads back as found.
    bool putBack(const FoundSettings &found);

    struct Leftovers
    {
        QString restored;    // what was put back, for the record; empty when nothing was
        QStringList notes;   // what the operator must hear: what was put back, left alone, failed
        bool failed = false; // this reader's note was found but the reader did not follow it
    };
    // What unfinished checkouts of port left noted: the note of the reader with this serial
    // number put back and forgotten, those of other readers reported and left for them.
    Leftovers putBackLeftovers(ReaderJournal &journal, const QString &port, int serialNumber);

private:
    ReaderCommands &m_reader;
};
