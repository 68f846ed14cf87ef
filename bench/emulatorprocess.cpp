#include "emulatorprocess.h"

EmulatorProcess::~EmulatorProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5'000))
        m_process.kill();
    m_process.waitForFinished();
}

bool EmulatorProcess::start(const QString &program)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, {});
    if (!m_process.waitForStarted())
        return false;
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(10'000))
            return false;
    }
    m_terminalPath = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    return !m_terminalPath.isEmpty();
}
