#pragma once

#include "cli/checkoutterminal.h"

#include <QString>
#include <QStringList>

struct CliArguments;
class DeviceTransaction;
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
        RecordLost = 4, // checkout: a record kept neither in the database nor in the outbox
        // checkout: stopped by Ctrl+C, SIGTERM or SIGHUP, 128 and the signal (130, 143, 129)
    };

    CliProgram(QIODevice &standardOutput, QIODevice &standardError);

    // Whether standard input and error are terminals: the checkout asks the operator and shows
    // its progress only there. Neither is, unless told.
    void setTerminal(const CliTerminal &terminal) { m_terminal = terminal; }

    // arguments start with the program name; environmentPort is the value of VORN_PORT.
    int run(const QStringList &arguments, const QString &environmentPort);

private:
    int usageError(const QString &message);
    int listPorts(const CliArguments &arguments);
    int runOnPort(const CliArguments &arguments);
    int runCheckout(const CliArguments &arguments);
    // Puts back what the journal says an unfinished checkout of the port left in its reader.
    int restoreLeftovers(DeviceTransaction &transaction, const QString &port);
    void printError(const QString &message);

    QIODevice &m_output;
    QIODevice &m_error;
    CliTerminal m_terminal;
};
