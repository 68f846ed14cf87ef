#include "serial/openfailuremessage.h"

#include "serial/networkportname.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QLatin1String DevFolder("/dev/");

QString readFirstLine(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readLine()).trimmed();
}

} // namespace

OpenFailureMessage::OpenFailureMessage(QStringList lockFolders, QString processFolder)
    : m_lockFolders(std::move(lockFolders)), m_processFolder(std::move(processFolder))
{
}

QString OpenFailureMessage::text(OpenFailure failure, const QString &devicePath,
                                 const QString &errorText) const
{
    if (failure == OpenFailure::None)
        return {};
    // A network port has no device file, group or lock file: the line's own words say it all.
    if (NetworkPortName::isNetworkName(devicePath))
        return QStringLiteral("cannot open %1: %2").arg(devicePath, errorText);
    switch (failure) {
    case OpenFailure::None:
        return {};
    case OpenFailure::NoSuchPort:
        return QStringLiteral(
                   "cannot open %1: no such port (run 'vornctl ports' to list the ports)")
            .arg(devicePath);
    case OpenFailure::PermissionDenied:
        return permissionDeniedText(devicePath);
    case OpenFailure::InUse:
        return inUseText(devicePath);
    case OpenFailure::Other:
        break;
    }
    return QStringLiteral("cannot open %1: %2").arg(devicePath, errorText);
}

QString OpenFailureMessage::devicePath(const QString &portName)
{
    if (portName.startsWith(QLatin1Char('/')) || NetworkPortName::isNetworkName(portName))
        return portName;
    return DevFolder + portName;
}

QString OpenFailureMessage::lockFileName(const QString &devicePath)
{
    QString name = devicePath.startsWith(DevFolder) ? devicePath.mid(DevFolder.size()) : devicePath;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

QStringList OpenFailureMessage::defaultLockFolders()
{
    // The folders Qt Serial Port tries, in its order.
    return {QStringLiteral("/var/lock"),
            QStringLiteral("/etc/locks"),
            QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"),
            QStringLiteral("/tmp"),
            QStringLiteral("/var/tmp"),
            QStringLiteral("/var/lock/lockdev"),
            QStringLiteral("/run/lock")};
}

std::optional<OpenFailureMessage::LockHolder>
OpenFailureMessage::lockHolder(const QString &devicePath) const
{
    const QString fileName = lockFileName(devicePath);
    for (const QString &folder : m_lockFolders) {
        QFile lock(folder + QLatin1Char('/') + fileName);
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        // A Qt lock file: the PID, the program's name, the host name, one a line.
        const QList<QByteArray> lines = lock.readAll().split('\n');
        bool isNumber = false;
        const qint64 pid = lines.value(0).trimmed().toLongLong(&isNumber);
        if (!isNumber || pid <= 0)
            continue;
        QString program = programName(pid);
        if (program.isEmpty())
            program = QString::fromLocal8Bit(lines.value(1).trimmed());
        return LockHolder{pid, program};
    }
    return std::nullopt;
}

QString OpenFailureMessage::permissionDeniedText(const QString &devicePath) const
{
    const QFileInfo device(devicePath);
    const QString prefix = QStringLiteral("cannot open %1: permission denied. ").arg(devicePath);
    const QString group = device.group();
    if (group.isEmpty())
        return prefix + QStringLiteral("Join the group that owns the device (often dialout), then "
                                       "log out and in again: a new group only counts after a "
                                       "new login.");
    // Joining the group only helps when the group may read and write the device.
    const QFileDevice::Permissions groupReadWrite =
        QFileDevice::ReadGroup | QFileDevice::WriteGroup;
    if ((device.permissions() & groupReadWrite) != groupReadWrite)
        return prefix + QStringLiteral("Only its owner %1 may open it; not even its group %2 may.")
                            .arg(device.owner(), group);
    return prefix + QStringLiteral("It belongs to the group %1: join it (sudo usermod -aG %1 "
                                   "$USER), then log out and in again: the new group only counts "
                                   "after a new login.")
                        .arg(group);
}

QString OpenFailureMessage::inUseText(const QString &devicePath) const
{
    QString prefix = QStringLiteral("cannot open %1: in use by another program").arg(devicePath);
    const std::optional<LockHolder> holder = lockHolder(devicePath);
    if (!holder)
        return prefix;
    if (holder->program.isEmpty())
        return prefix + QStringLiteral(" (PID %1)").arg(holder->pid);
    return prefix + QStringLiteral(": %1 (PID %2)").arg(holder->program).arg(holder->pid);
}

QString OpenFailureMessage::programName(qint64 pid) const
{
    return readFirstLine(QStringLiteral("%1/%2/comm").arg(m_processFolder).arg(pid));
}
