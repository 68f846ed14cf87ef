#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The built vorn-emulator serving a reader on a pseudo-terminal of its own, running while the
// object lives (killed at the end if still running).
class EmulatorProcess
{
public:
    ~EmulatorProcess() { kill(); }

    // Starts it and reads the terminal's path from the first line of its output.
    bool start(const QString &program, const QStringList &arguments = {});
    QString terminalPath() const { return m_terminalPath; }

    // Sends the signal and waits for the exit; true when it ended normally.
    bool stop(int signal);
    // Gone without a chance to tidy up, as when an adapter is pulled.
    void kill();

    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QString m_terminalPath;
};
