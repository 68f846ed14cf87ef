#pragma once

#include <QProcess>
#include <QString>

// The built vorn-emulator on a pseudo-terminal of its own, running while the object lives.
class EmulatorProcess
{
public:
    ~EmulatorProcess();

    // Starts it with its default reader and timing and reads the terminal's path from its first
    // line of output.
    bool start(const QString &program);
    QString terminalPath() const { return m_terminalPath; }

private:
    QProcess m_process;
    QString m_terminalPath;
};
