#pragma once

#include "checkout/checkoutrecord.h"
#include "cli/checkoutterminal.h"

#include <QString>
#include <QStringList>

struct CliArguments;
class QIODevice;

// vornctl checkout: every reader on its own thread, progress and questions on the terminal,
// then the text, JSON and JUnit reports. Ctrl+C stops the readers between two operations and
// still puts each back as it was found.
class CliCheckout
{
public:
    enum ExitCode
    {
        AllPassed = 0,
        ReaderFailed = 1,
        PortFailed = 3, // also: a report could not be written
        Interrupted = 130,
    };

    CliCheckout(const CliArguments &arguments, QIODevice &output, QIODevice &error,
                const CliTerminal &terminal);

    // Everything that can be checked before a port opens (the JUnit file can be written,
    // without touching a report already there); on failure, what is wrong.
    QString prepare();

    // Checks every reader at once; returns when all are done and restored, with every
    // reader's record in the order of the ports.
    CheckoutRun run();

    // The JSON document or the JUnit file (the text was printed as the readers finished). A
    // JUnit file replaces the old one whole or not at all; a failure is said on standard
    // error and makes the exit code PortFailed.
    void report(const CheckoutRun &run);
    int exitCode(const CheckoutRun &run) const;

private:
    const CliArguments &m_arguments;
    QIODevice &m_output;
    QIODevice &m_error;
    CliTerminal m_terminal;
    QStringList m_unopenedPorts;
    bool m_interrupted = false;
    bool m_outputFailed = false;
};
