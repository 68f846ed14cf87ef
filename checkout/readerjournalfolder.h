#pragma once

#include "checkout/readerjournal.h"

// The journal as one small JSON file per port and reader in a folder, by default
// $XDG_STATE_HOME/vorn-tool/journal (~/.local/state/vorn-tool/journal): state of this machine
// that must survive a reboot, not data to keep. Each file is written whole and synced to disk,
// with its folder, before the reader is changed.
class ReaderJournalFolder final : public ReaderJournal
{
public:
    explicit ReaderJournalFolder(QString folder = defaultFolder());

    static QString defaultFolder();
    const QString &folder() const { return m_folder; }

    QList<FoundSettings> left(const QString &port) const override;
    QString keep(const FoundSettings &settings) override;
    void forget(const QString &port, int serialNumber) override;

private:
    // The port in letters a file name can hold, and the six digits of the serial number.
    static QString filePrefix(const QString &port);
    QString filePath(const QString &port, int serialNumber) const;

    QString m_folder;
};
