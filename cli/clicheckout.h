#pragma once

#include "checkout/checkoutrecord.h"
#include "cli/checkoutterminal.h"
#include "records/recordslocation.h"

#include <QString>

#include <QStringList>
#include <memory>
#include <mutex>

struct CliArguments;
struct RecordsLocation;
class JsonSink;
class JUnitSink;
class Publisher;
class PublishSink;
class RecordsSink;
class QIODevice;

// vornctl checkout: every reader on its own thread, progress and questions on the terminal,
// the results to the sinks asked for (the records, the JSON document, the JUnit file, the
// line's message broker). Ctrl+C
// stops the readers between two operations and still puts each back as it was found.
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
        Interrupted = 130,
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
    int exitCode(const CheckoutRun &run) const;
    // Waits a while for the broker to take the messages and says what it did not take.
    void finishPublishing();

    const CliArguments &m_arguments;
    QIODevice &m_output;
    QIODevice &m_error;
    CliTerminal m_terminal;
    std::unique_ptr<JsonSink> m_json;
    std::unique_ptr<JUnitSink> m_junit;
    std::unique_ptr<RecordsSink> m_records;
    const RecordsLocation &m_recordsLocation; // where the retest limit counts attempts
    // The publisher's warnings come from its own thread and are told once the readers are
    // done, so that they never tear a progress line; made before the publisher, they outlive
    // its thread.
    std::mutex m_publishWarningsLock;
    QStringList m_publishWarnings;
    std::unique_ptr<Publisher> m_publisher;
    std::unique_ptr<PublishSink> m_publish;
    QStringList m_unopenedPorts;
    bool m_interrupted = false;
};
