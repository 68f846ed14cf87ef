#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

// A folder on a disk that is full: a 16 KiB tmpfs mounted on it, filled to the last block
// once the test has put its files there. Writes then fail as on a full disk, whoever the user
// is (a read-only folder stops no one when the tests run as root). Mounting needs root; a test
// skips when mount() says no. Unmounted when the object goes, also after a failed check.
class FullDisk
{
public:
    FullDisk() = default;
    ~FullDisk()
    {
        if (m_mounted)
            ::umount2(m_folder.toLocal8Bit().constData(), MNT_DETACH);
    }
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    // Mounts the tmpfs on folder (made when missing); false with why() when that cannot be.
    bool mount(const QString &folder)
    {
        m_folder = folder;
        if (!QDir().mkpath(folder))
            return failed(QStringLiteral("cannot make %1").arg(folder));
        if (::mount("tmpfs", folder.toLocal8Bit().constData(), "tmpfs", 0, "size=16k") != 0)
            return failed(
                QStringLiteral("mount: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        m_mounted = true;
        return true;
    }

    // Takes the space that is left; true once a write was refused for want of room.
    bool fill()
    {
        const QByteArray path = (m_folder + QStringLiteral("/filler")).toLocal8Bit();
        const int file = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (file < 0)
            return false;
        const QByteArray block(4096, 'x');
        int error = 0;
        for (;;) {
            if (::write(file, block.constData(), std::size_t(block.size())) < 0) {
                error = errno;
                break;
            }
        }
        // A part of a block may still fit.
        while (::write(file, block.constData(), 1) == 1) {
        }
        ::close(file);
        return error == ENOSPC;
    }

    QString why() const { return m_why; }

private:
    bool failed(const QString &why)
    {
        m_why = why;
        return false;
    }

    QString m_folder;
    QString m_why;
    bool m_mounted = false;
};
