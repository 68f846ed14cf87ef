#include "recordingline.h"

RecordingLine::RecordingLine()
{
    m_clock.setSleepObserver([this](int ms) { m_log.append(QStringLiteral("S %1").arg(ms)); });
}

bool RecordingLine::open()
{
    m_open = !m_failOpen;
    return m_open;
}

QStringList RecordingLine::logOf(const QStringList &kinds) const
{
    QStringList selected;
    for (const QString &entry : m_log)
        if (kinds.contains(entry.section(QLatin1Char(' '), 0, 0)))
            selected.append(entry);
    return selected;
}

qint64 RecordingLine::bytesWaiting()
{
    m_log.append(QStringLiteral("C"));
    return m_countError ? -1 : m_incoming.size();
}

qint64 RecordingLine::read(char *data, qint64 maxSize)
{
    m_log.append(QStringLiteral("R %1").arg(maxSize));
    const qint64 n = std::min<qint64>(maxSize, m_incoming.size());
    std::copy_n(m_incoming.constData(), n, data);
    m_incoming.remove(0, n);
    return n;
}

qint64 RecordingLine::write(const char *data, qint64 size)
{
    const QByteArray bytes(data, size);
    m_log.append(QStringLiteral("W ") + QString::fromLatin1(bytes.toHex(' ')));
    m_written += bytes;
    if (m_onWrite)
        m_onWrite(bytes);
    return size;
}

void RecordingLine::setDataTerminalReady(bool asserted)
{
    m_dtr = asserted;
    m_log.append(QStringLiteral("DTR %1").arg(asserted ? 1 : 0));
}

void RecordingLine::setRequestToSend(bool asserted)
{
    m_rts = asserted;
    m_log.append(QStringLiteral("RTS %1").arg(asserted ? 1 : 0));
}
