#pragma once

#include "checkout/checkoutobserver.h"
#include "checkout/checkoutrecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

class QIODevice;

// What vornctl's standard streams are connected to.
struct CliTerminal
{
    bool inputIsTerminal = false;
    bool errorIsTerminal = false;
    int inputDescriptor = 0; // where the operator's answers come from
};

// The checkout as the command line shows it: while it runs and standard error is a terminal,
// one progress line per reader redrawn in place; the operator's questions one reader at a time
// on standard error, answered on standard input; and, unless the output is JSON, each reader's
// table on standard output once it and every reader before it have finished.
class CheckoutTerminal final : public CheckoutObserver
{
public:
    CheckoutTerminal(QIODevice &output, QIODevice &error, const CliTerminal &terminal,
                     const QStringList &ports, bool printTables,
                     std::function<bool()> stopRequested);

    void stepStarted(int reader, const QString &port, int stepIndex, int stepCount,
                     const QString &stepName) override;
    void stepFinished(int reader, const QString &port, int stepIndex, int stepCount,
                      const StepRecord &step) override;
    void readerFinished(int reader, const ReaderRecord &record) override;
    void notice(int reader, const QString &port, const QString &text) override;
    std::optional<bool> ask(int reader, const QString &port, const QString &serial,
                            const QString &question) override;

    // A line for standard error (a trace line, a message) that must not tear the progress.
    void writeError(const QByteArray &text);

private:
    struct Progress
    {
        int done = 0;
        int total = 0;
        QString step;
        QString outcome; // set once the reader has finished
    };

    // The caller holds m_lock for these.
    void redrawProgress();
    void eraseProgress();
    void printFinishedInOrder();
    // One line from the operator: yes, no, or nothing once the input ended or a stop came.
    std::optional<bool> readAnswer();
    std::optional<QByteArray> readLine();

    QIODevice &m_output;
    QIODevice &m_error;
    CliTerminal m_terminal;
    QStringList m_ports;
    bool m_printTables = true;
    std::function<bool()> m_stopRequested;

    std::mutex m_lock;         // the two streams and everything below
    std::mutex m_questionLock; // one question at a time
    std::vector<Progress> m_progress;
    int m_drawnLines = 0;
    bool m_asking = false;
    std::vector<std::optional<ReaderRecord>> m_finished;
    std::size_t m_nextToPrint = 0;
    bool m_inputEnded = false;
};
