#pragma once

#include "checkout/filesync.h"

// The disk's own sync: fsync of the file, and of the folder opened as a directory.
class DiskSync final : public FileSync
{
public:
    // One for every journal: it holds no state.
    static DiskSync &instance();

    bool syncFile(int fd) override;
    bool syncFolder(const QString &folder) override;
};
