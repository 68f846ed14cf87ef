#include "serial/devicetransaction.h"

#include "serial/exchangetrace.h"
#include "serial/serialline.h"
#include "serial/waitclock.h"

#include <algorithm>

DeviceTransaction::DeviceTransaction(SerialLine &line, WaitClock &clock)
    : m_line(line), m_clock(clock)
{
}

void DeviceTransaction::drain()
{
    for (qint64 waiting = m_line.bytesWaiting(); waiting > 0; waiting = m_line.bytesWaiting()) {
        const qint64 chunk = std::min<qint64>(waiting, DrainChunk);
        const qint64 got = m_line.read(m_buffer.data(), chunk);
        if (got <= 0)
            return; // the line counted bytes it cannot deliver: stop rather than spin
        trace(TraceKind::Drain, m_buffer.view(got));
    }
}

ExchangeStatus DeviceTransaction::standard(QByteArrayView request, qsizetype replyLength)
{
    drain();
    const DtrBracket dtr(*this);
    send(request);
    wait(ReplyWaitMs);
    return takeReply(replyLength) ? ExchangeStatus::Done : ExchangeStatus::WrongReplyLength;
}

ExchangeStatus DeviceTransaction::nonAborting(QByteArrayView request, qsizetype replyLength,
                                              QByteArrayView substitute)
{
    const ExchangeStatus status = standard(request, replyLength);
    if (status != ExchangeStatus::Done)
        m_buffer.substitute(substitute);
    return status;
}

void DeviceTransaction::writeOnly(QByteArrayView request)
{
    const DtrBracket dtr(*this);
    send(request);
    wait(ReplyWaitMs);
}

ExchangeStatus DeviceTransaction::polled(QByteArrayView request, qsizetype replyLength)
{
    drain();
    const DtrBracket dtr(*this);
    send(request);
    for (int check = 0; check < PollChecks; ++check) {
        if (takeReply(replyLength))
            return ExchangeStatus::Done;
        // A line that reports an error (lost) brings no reply: the remaining second of checks
        // would only wait.
        if (m_lineFailed)
            break;
        wait(ReplyWaitMs);
    }
    return ExchangeStatus::Timeout;
}

void DeviceTransaction::setDtr(bool asserted)
{
    m_line.setDataTerminalReady(asserted);
    trace(TraceKind::Dtr, {}, asserted ? 1 : 0);
}

void DeviceTransaction::send(QByteArrayView request)
{
    const qsizetype length = m_buffer.load(request);
    m_line.write(m_buffer.data(), length);
    trace(TraceKind::Write, m_buffer.view(length));
}

void DeviceTransaction::wait(int milliseconds)
{
    trace(TraceKind::Wait, {}, milliseconds);
    m_clock.sleep(milliseconds);
}

bool DeviceTransaction::takeReply(qsizetype replyLength)
{
    const qint64 waiting = m_line.bytesWaiting();
    m_lineFailed = waiting < 0;
    trace(TraceKind::Check, {}, waiting);
    if (waiting != replyLength || replyLength > CommandBuffer::Size)
        return false;
    const qint64 got = m_line.read(m_buffer.data(), replyLength);
    if (got != replyLength)
        return false;
    trace(TraceKind::Read, m_buffer.view(got));
    return true;
}

void DeviceTransaction::trace(TraceKind kind, QByteArrayView bytes, qint64 value)
{
    if (m_trace)
        m_trace->record(TraceEvent{kind, bytes, value, m_commandName});
}

DtrBracket::DtrBracket(DeviceTransaction &transaction) : m_transaction(transaction)
{
    m_transaction.setDtr(true);
}

DtrBracket::~DtrBracket()
{
    release();
}

void DtrBracket::release()
{
    if (!m_asserted)
        return;
    m_asserted = false;
    m_transaction.setDtr(false);
}

ChainedExchange::ChainedExchange(DeviceTransaction &transaction)
    : m_transaction((transaction.drain(), transaction)), m_dtr(transaction)
{
}

ExchangeStatus ChainedExchange::step(QByteArrayView request, qsizetype replyLength)
{
    if (m_failed)
        return ExchangeStatus::WrongReplyLength;
    m_transaction.send(request);
    m_transaction.wait(DeviceTransaction::ReplyWaitMs);
    m_failed = !m_transaction.takeReply(replyLength);
    if (m_failed)
        m_dtr.release();
    return m_failed ? ExchangeStatus::WrongReplyLength : ExchangeStatus::Done;
}

WriteSequence::WriteSequence(DeviceTransaction &transaction)
    : m_transaction(transaction), m_dtr(transaction)
{
}

void WriteSequence::send(QByteArrayView request, int waitMs)
{
    m_transaction.send(request);
    m_transaction.wait(waitMs);
}
