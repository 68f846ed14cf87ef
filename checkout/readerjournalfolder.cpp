#include "checkout/readerjournalfolder.h"

#include "checkout/disksync.h"

#include "device/identification.h"
#include "serial/openfailuremessage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QUrl>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString Suffix = QStringLiteral(".json");

// Writes the whole of bytes to fd; false with errno set when it could not.
bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

} // namespace

ReaderJournalFolder::ReaderJournalFolder(QString folder, FileSync *sync)
    : m_folder(std::move(folder)), m_sync(sync ? *sync : DiskSync::instance())
{
}

QString ReaderJournalFolder::defaultFolder()
{
    // Only an absolute XDG_STATE_HOME counts, as the XDG base directories say.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/vorn-tool/journal");
}

QString ReaderJournalFolder::deviceOf(const QString &port)
{
    const QString device = QFileInfo(OpenFailureMessage::devicePath(port)).canonicalFilePath();
    return device.isEmpty() ? port : device;
}

QString ReaderJournalFolder::filePrefix(const QString &port)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(deviceOf(port))) + QLatin1Char('@');
}

QString ReaderJournalFolder::filePath(const QString &port, int serialNumber) const
{
    return m_folder + QLatin1Char('/') + filePrefix(port) +
           Identification::serialText(quint16(serialNumber)) + Suffix;
}

QList<FoundSettings> ReaderJournalFolder::left(const QString &port) const
{
    QList<FoundSettings> entries;
    const QDir folder(m_folder);
    for (const QString &name : folder.entryList({filePrefix(port) + QLatin1Char('*') + Suffix},
                                                QDir::Files, QDir::Name)) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const std::optional<FoundSettings> settings =
            FoundSettings::fromJson(QJsonDocument::fromJson(file.readAll()).object());
        // Only what the notes say of this device: a file copied in by hand is no note.
        if (settings && deviceOf(settings->port) == deviceOf(port))
            entries.append(*settings);
    }
    return entries;
}

QString ReaderJournalFolder::keep(const FoundSettings &settings)
{
    const QString path = filePath(settings.port, settings.serialNumber);
    const QString partial = path + QStringLiteral(".part");
    if (!QDir().mkpath(m_folder))
        return QStringLiteral("cannot make %1").arg(m_folder);
    const int fd = ::open(QFile::encodeName(partial).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return QStringLiteral("cannot write %1: %2")
            .arg(partial, QString::fromLocal8Bit(std::strerror(errno)));
    const bool written =
        writeAll(fd, QJsonDocument(settings.toJson()).toJson(QJsonDocument::Compact)) &&
        m_sync.syncFile(fd);
    const int writeErrno = errno;
    ::close(fd);
    if (!written || ::rename(QFile::encodeName(partial).constData(),
                             QFile::encodeName(path).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(written ? errno : writeErrno));
        ::unlink(QFile::encodeName(partial).constData());
        return QStringLiteral("cannot write %1: %2").arg(path, reason);
    }
    // A rename is on disk once the folder that holds the name is.
    if (!m_sync.syncFolder(m_folder))
        return QStringLiteral("cannot sync %1 to disk").arg(m_folder);
    return {};
}

void ReaderJournalFolder::forget(const QString &port, int serialNumber)
{
    // Not synced: a note that comes back after a power cut puts back what the reader has.
    QFile::remove(filePath(port, serialNumber));
}
