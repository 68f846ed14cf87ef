#include "emulatorprocess.h"

#include <csignal>

bool EmulatorProcess::start(const QString &program, const QStringList &arguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(10'000))
        return false;
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(10'000))
            return false;
    }
    m_terminalPath = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    return m_terminalPath.startsWith(QLatin1Char('/'));
}

bool EmulatorProcess::stop(int signal)
{
    if (m_process.state() == QProcess::NotRunning)
        return false;
    ::kill(pid_t(m_process.processId()), signal);
    return m_process.waitForFinished(10'000) && m_process.exitStatus() == QProcess::NormalExit;
}

void EmulatorProcess::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished();
}
