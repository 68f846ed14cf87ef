#pragma once

#include "checkout/checkoutrecord.h"
#include "cli/checkoutterminal.h"
#include "outputs/checkoutoutputs.h"
#include "process/stopsignals.h"

#include <QString>

#include <QStringList>

#include <mutex>

struct CliArguments;
struct RecordsLocation;
class CheckoutRunner;
class QIODevice;

// vornctl checkout: every reader on its own thread, progress and questions on the terminal,
// the results to the sinks asked for (the records, the JSON document, the JUnit file, the
// line's message broker). Ctrl+C,
// SIGTERM and SIGHUP stop the readers between two operations and still puts each back as it was
// found.
class CliCheckout
{
public:
    enum ExitCode
    {
        AllPassed = 0,
        ReaderFailed = 1,
        PortFailed = 3, // also: a report could not be written
        RecordLost = 4, // a record kept neither in the database nor in the outbox, or a
                        // message for the broker not even in the spool
        Refused = 5,    // a reader must be repaired before it is checked again
        // Stopped by SIGINT, SIGTERM or SIGHUP: 128 and the signal (130, 143, 129).
    };

    CliCheckout(const CliArguments &arguments, const RecordsLocation &records, QIODevice &output,
                QIODevice &error, const CliTerminal &terminal);
    ~CliCheckout();
    CliCheckout(const CliCheckout &) = delete;
    CliCheckout &operator=(const CliCheckout &) = delete;

    // Everything that can be checked before a port opens (the JUnit file can be written,
    // without touching a report already there); on failure, what is wrong.
    QString prepare();

    // Checks every reader at once and hands the results to the sinks; returns when all are
    // done, restored and kept, with the exit code.
    int run();

private:
    int exitCode(const CheckoutRun &run, const CheckoutOutputs::Finished &finished) const;
    // Says what the outputs could not do: a report not written, records and messages that wait
    // or are lost.
    void tell(const CheckoutOutputs::Finished &finished);

    const CliArguments &m_arguments;
    QIODevice &m_output;
    QIODevice &m_error;
    CliTerminal m_terminal;
    const RecordsLocation &m_recordsLocation; // where the retest limit counts attempts
    // The run that a stopping signal stops, while it runs: the signals' watcher thread reaches
    // it only under the lock, so that it never calls a run that has ended.
    std::mutex m_stopLock;
    CheckoutRunner *m_running = nullptr;
    // Made before the outputs, whose records and broker connections start threads: every
    // thread then leaves the stopping signals to it. One that came before any thread blocked
    // them would be the kernel's to deliver there, and end the process with the reader as the
    // checkout left it.
    StopSignals m_stopSignals;
    CheckoutOutputs m_outputs;
    QStringList m_unopenedPorts;
    int m_stopSignal = 0; // the signal that stopped the run, or 0
};
