#pragma once

#include <QString>

// Putting what was written on disk, so that it outlives a power cut: the journal's notes go
// through this interface, so that the product syncs for real while a test sees each sync with
// what the file held at that moment.
class FileSync
{
public:
    virtual ~FileSync() = default;

    // The bytes written to the open file fd are on disk; false when they could not be put
    // there (errno tells why).
    virtual bool syncFile(int fd) = 0;
    // The names in folder (a file renamed into it) are on disk.
    virtual bool syncFolder(const QString &folder) = 0;
};
