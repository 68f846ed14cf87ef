#pragma once

#include <QString>
#include <QStringList>

struct CliArguments;
class QIODevice;

// vornctl from its command line to its exit code: parse and check the arguments, open the
// port, run the command, print the result.
class CliProgram
{
public:
    enum ExitCode
    {
        Done = 0,
        ReaderFailed = 1,
        UsageError = 2,
        PortFailed = 3,
    };

    CliProgram(QIODevice &standardOutput, QIODevice &standardError);

    // arguments start with the program name; environmentPort is the value of VORN_PORT.
    int run(const QStringList &arguments, const QString &environmentPort);

private:
    int usageError(const QString &message);
    int listPorts(const CliArguments &arguments);
    int runOnPort(const CliArguments &arguments);
    void printError(const QString &message);

    QIODevice &m_output;
    QIODevice &m_error;
};
