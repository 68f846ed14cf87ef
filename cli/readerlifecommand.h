#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QIODevice;
class RecordsStore;
struct RepairRecord;

// `vornctl records repair SERIAL ...` and `vornctl records history SERIAL`: a reader's repairs
// entered against its failed checkouts, and its life as the records tell it. The exit codes are
// those of the records commands.
class ReaderLifeCommand
{
public:
    // What `records repair` was given, already checked for presence.
    struct Repair
    {
        QString symptom;
        QString action;
        QString cause;
        QStringList parts;
        QString technician;
        QString station;
        QString checkoutId; // empty: the reader's latest failed checkout
    };

    ReaderLifeCommand(QIODevice &output, QIODevice &error);

    // Keeps the repair linked to its checkout; the stored repair, or the exit code.
    std::optional<RepairRecord> repair(int serialNumber, const Repair &given, RecordsStore &store,
                                       int *exitCode);
    int history(int serialNumber, bool json, RecordsStore &store);

private:
    int fail(int exitCode, const QString &message);

    QIODevice &m_output;
    QIODevice &m_error;
};
