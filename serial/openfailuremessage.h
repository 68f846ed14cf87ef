#pragma once

#include "serial/serialline.h"

#include <QString>
#include <QStringList>

#include <optional>

// Why a port did not open, in plain words and with what to do about it: the group to join when
// permission is denied, the program and PID holding the port when it is in use.
//
// Qt Serial Port locks a port with a lock file "LCK..<name>" in the first usable of several
// lock folders (/var/lock first); the file holds the PID of the program that has the port.
class OpenFailureMessage
{
public:
    struct LockHolder
    {
        qint64 pid = 0;
        QString program; // empty when neither /proc nor the lock file name it
    };

    explicit OpenFailureMessage(QStringList lockFolders = defaultLockFolders(),
                                QString processFolder = QStringLiteral("/proc"));

    // devicePath is the port's device file; errorText the port's own words for other failures.
    QString text(OpenFailure failure, const QString &devicePath,
                 const QString &errorText = {}) const;

    // The device file of a port name: a short name lives under /dev, a path is taken as it is,
    // and so is a network port's name.
    static QString devicePath(const QString &portName);
    // The lock file's name: the path below /dev with "/" turned into "_", after "LCK..".
    static QString lockFileName(const QString &devicePath);
    static QStringList defaultLockFolders();

    std::optional<LockHolder> lockHolder(const QString &devicePath) const;

private:
    QString permissionDeniedText(const QString &devicePath) const;
    QString inUseText(const QString &devicePath) const;
    QString programName(qint64 pid) const;

    QStringList m_lockFolders;
    QString m_processFolder;
};
