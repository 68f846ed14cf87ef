#pragma once

#include "checkout/readerjournal.h"

class FileSync;

// The journal as one small JSON file per port and reader in a folder, by default
// $XDG_STATE_HOME/vorn-tool/journal (~/.local/state/vorn-tool/journal): state of this machine
// that must survive a reboot, not data to keep. Each file is written whole and synced to disk,
// with its folder, before the reader is changed.
class ReaderJournalFolder final : public ReaderJournal
{
public:
    // The file's sync is the disk's unless one is given.
    explicit ReaderJournalFolder(QString folder = defaultFolder(), FileSync *sync = nullptr);

    static QString defaultFolder();
    const QString &folder() const { return m_folder; }

    QList<FoundSettings> left(const QString &port) const override;
    QString keep(const FoundSettings &settings) override;
    void forget(const QString &port, int serialNumber) override;

private:
    // The device the port name leads to, so that /dev/serial/by-id/... and ttyUSB0 share
    // their notes; the name itself when it leads to no file.
    static QString deviceOf(const QString &port);
    // The device in letters a file name can hold.
    static QString filePrefix(const QString &port);
    QString filePath(const QString &port, int serialNumber) const;

    QString m_folder;
    FileSync &m_sync;
};
