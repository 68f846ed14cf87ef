#include "checkout/disksync.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

DiskSync &DiskSync::instance()
{
    static DiskSync sync;
    return sync;
}

bool DiskSync::syncFile(int fd)
{
    return ::fsync(fd) == 0;
}

bool DiskSync::syncFolder(const QString &folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}
