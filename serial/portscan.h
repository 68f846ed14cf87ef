#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct PortEntry
{
    QString name;
    QString description;
    QString manufacturer;
    QString serialNumber;
};

// The ports a technician may open: what the system enumerates, in its order, then the names
// given on the command line (pseudo-terminals, /dev/serial/by-id links), then any others the
// caller adds last (the emulated readers).
class PortScan
{
public:
    static QList<PortEntry> scan(const QStringList &extraNames);
    static QList<PortEntry> enumerated();
};
