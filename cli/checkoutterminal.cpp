#include "cli/checkoutterminal.h"

#include "checkout/checkouttext.h"

#include <QIODevice>

#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace {

// How often a pending question looks for a stop request.
constexpr int AnswerPollMs = 100;

} // namespace

CheckoutTerminal::CheckoutTerminal(QIODevice &output, QIODevice &error, const CliTerminal &terminal,
                                   const QStringList &ports, bool printTables,
                                   std::function<bool()> stopRequested)
    : m_output(output), m_error(error), m_terminal(terminal), m_ports(ports),
      m_printTables(printTables), m_stopRequested(std::move(stopRequested)),
      m_progress(std::size_t(ports.size())), m_finished(std::size_t(ports.size()))
{
}

void CheckoutTerminal::stepStarted(int reader, const QString &, int stepIndex, int stepCount,
                                   const QString &stepName)
{
    const std::lock_guard lock(m_lock);
    Progress &progress = m_progress.at(std::size_t(reader));
    progress.done = stepIndex;
    progress.total = stepCount;
    progress.step = stepName;
    redrawProgress();
}

void CheckoutTerminal::stepFinished(int reader, const QString &, int stepIndex, int stepCount,
                                    const StepRecord &)
{
    const std::lock_guard lock(m_lock);
    Progress &progress = m_progress.at(std::size_t(reader));
    progress.done = stepIndex + 1;
    progress.total = stepCount;
    redrawProgress();
}

void CheckoutTerminal::readerFinished(int reader, const ReaderRecord &record)
{
    const std::lock_guard lock(m_lock);
    Progress &progress = m_progress.at(std::size_t(reader));
    progress.done = progress.total = int(record.steps.size());
    progress.outcome = outcomeName(record.outcome);
    m_finished.at(std::size_t(reader)) = record;
    printFinishedInOrder();
}

void CheckoutTerminal::notice(int, const QString &port, const QString &text)
{
    writeError(QStringLiteral("vornctl: %1: %2\n").arg(port, text).toUtf8());
}

std::optional<bool> CheckoutTerminal::ask(int, const QString &port, const QString &serial,
                                          const QString &question)
{
    const std::lock_guard oneAtATime(m_questionLock);
    if (m_stopRequested())
        return std::nullopt;
    const QByteArray prompt =
        QStringLiteral("%1  SN %2: %3 [y/n] ").arg(port, serial, question).toUtf8();
    {
        const std::lock_guard lock(m_lock);
        if (m_inputEnded)
            return std::nullopt;
        eraseProgress();
        m_asking = true;
        m_error.write(prompt);
    }
    std::optional<bool> answer;
    while (true) {
        answer = readAnswer();
        if (answer || m_inputEnded || m_stopRequested())
            break;
        const std::lock_guard lock(m_lock);
        m_error.write("Please answer y or n. " + prompt);
    }
    const std::lock_guard lock(m_lock);
    m_asking = false;
    if (!answer)
        m_error.write("\n");
    redrawProgress();
    return answer;
}

void CheckoutTerminal::writeError(const QByteArray &text)
{
    const std::lock_guard lock(m_lock);
    eraseProgress();
    m_error.write(text);
    redrawProgress();
}

void CheckoutTerminal::redrawProgress()
{
    if (!m_terminal.errorIsTerminal || m_asking)
        return;
    QByteArray text;
    if (m_drawnLines > 0)
        text += "\033[" + QByteArray::number(m_drawnLines) + "A"; // back to the first line
    for (std::size_t i = 0; i < m_progress.size(); ++i) {
        const Progress &progress = m_progress.at(i);
        const QString state = !progress.outcome.isEmpty()
                                  ? QStringLiteral("done: %1").arg(progress.outcome)
                              : progress.total == 0 ? QStringLiteral("opening the port")
                                                    : progress.step;
        text += "\r\033[K" +
                QStringLiteral("%1  %2/%3  %4")
                    .arg(m_ports.at(qsizetype(i)))
                    .arg(progress.done)
                    .arg(progress.total)
                    .arg(state)
                    .toUtf8() +
                '\n';
    }
    m_drawnLines = int(m_progress.size());
    m_error.write(text);
}

void CheckoutTerminal::eraseProgress()
{
    if (m_drawnLines == 0)
        return;
    m_error.write("\033[" + QByteArray::number(m_drawnLines) + "A\r\033[J");
    m_drawnLines = 0;
}

void CheckoutTerminal::printFinishedInOrder()
{
    eraseProgress();
    while (m_nextToPrint < m_finished.size() && m_finished.at(m_nextToPrint)) {
        if (m_printTables) {
            const QString table = CheckoutText::readerText(*m_finished.at(m_nextToPrint));
            m_output.write((m_nextToPrint > 0 ? QStringLiteral("\n") : QString()).toUtf8() +
                           table.toUtf8());
        }
        ++m_nextToPrint;
    }
    // Once every reader has finished the progress has nothing more to say.
    if (m_nextToPrint < m_finished.size())
        redrawProgress();
}

std::optional<bool> CheckoutTerminal::readAnswer()
{
    const std::optional<QByteArray> line = readLine();
    if (!line)
        return std::nullopt;
    const QByteArray word = line->trimmed().toLower();
    if (word == "y" || word == "yes")
        return true;
    if (word == "n" || word == "no")
        return false;
    return std::nullopt;
}

std::optional<QByteArray> CheckoutTerminal::readLine()
{
    QByteArray line;
    while (true) {
        if (m_stopRequested())
            return std::nullopt;
        pollfd input{m_terminal.inputDescriptor, POLLIN, 0};
        const int ready = ::poll(&input, 1, AnswerPollMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        char byte = 0;
        const ssize_t got = ::read(m_terminal.inputDescriptor, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        if (byte == '\n')
            return line;
        line.append(byte);
    }
    const std::lock_guard lock(m_lock);
    m_inputEnded = true;
    return std::nullopt;
}
