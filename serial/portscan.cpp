#include "serial/portscan.h"

#include <QSerialPortInfo>

QList<PortEntry> PortScan::enumerated()
{
    QList<PortEntry> entries;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    entries.reserve(ports.size());
    for (const QSerialPortInfo &info : ports)
        entries.append(PortEntry{info.portName(), info.description(), info.manufacturer(),
                                 info.serialNumber()});
    return entries;
}

QList<PortEntry> PortScan::scan(const QStringList &extraNames)
{
    QList<PortEntry> entries = enumerated();
    for (const QString &name : extraNames)
        entries.append(PortEntry{name, {}, {}, {}});
    return entries;
}
