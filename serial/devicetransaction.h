#pragma once

#include "serial/commandbuffer.h"

#include <QByteArrayView>

class ExchangeTrace;
class SerialLine;
class WaitClock;
enum class TraceKind;

// How an exchange that expects a reply ended.
enum class ExchangeStatus
{
    Done,             // the reply of the exact length was read into the command buffer
    WrongReplyLength, // after the fixed wait the count waiting was not the reply's length
    Timeout,          // a polled reply never reached its exact length
};

// The exchange procedures of the reader protocol on one open line: every request is written
// from the command buffer while DTR is asserted, every reply is read into it from byte 0, and
// every procedure leaves DTR released, on success and on failure alike.
class DeviceTransaction
{
public:
    static constexpr int ReplyWaitMs = 50;
    static constexpr int PollChecks = 21;
    static constexpr qsizetype DrainChunk = 9;

    DeviceTransaction(SerialLine &line, WaitClock &clock);

    void setTrace(ExchangeTrace *trace) { m_trace = trace; }
    // The name of the command being run, shown in the trace.
    void setCommandName(const char *name) { m_commandName = name; }

    SerialLine &line() { return m_line; }
    WaitClock &clock() { return m_clock; }
    const CommandBuffer &buffer() const { return m_buffer; }
    QByteArrayView reply(qsizetype length) const { return m_buffer.view(length); }

    // Throws away what is waiting, in reads of at most 9 bytes. Ends at once when nothing is
    // waiting or the line reports an error; it does not wait for bytes still on the way.
    void drain();

    // Drain, DTR, write, 50 ms, one exact count check, one read, release DTR.
    ExchangeStatus standard(QByteArrayView request, qsizetype replyLength);

    // As standard, but on failure the substitute stands in the command buffer as the reply.
    ExchangeStatus nonAborting(QByteArrayView request, qsizetype replyLength,
                               QByteArrayView substitute);

    // DTR, write, 50 ms, release DTR: no drain, no check, no read.
    void writeOnly(QByteArrayView request);

    // Drain, DTR, write, then up to 21 exact count checks with 50 ms after each failed one;
    // the checks end early once the line reports an error (lost).
    ExchangeStatus polled(QByteArrayView request, qsizetype replyLength);

private:
    friend class DtrBracket;
    friend class ChainedExchange;
    friend class WriteSequence;

    void setDtr(bool asserted);
    void send(QByteArrayView request);
    void wait(int milliseconds);
    // One exact count check; on a match the reply is read into the command buffer.
    bool takeReply(qsizetype replyLength);
    void trace(TraceKind kind, QByteArrayView bytes, qint64 value = 0);

    SerialLine &m_line;
    WaitClock &m_clock;
    ExchangeTrace *m_trace = nullptr;
    const char *m_commandName = "";
    CommandBuffer m_buffer;
    bool m_lineFailed = false; // the last count check found the line in error
};

// Asserts DTR for its lifetime, so that every way out of an exchange releases it.
class DtrBracket
{
public:
    explicit DtrBracket(DeviceTransaction &transaction);
    ~DtrBracket();
    // Releases DTR now rather than at the end of the scope; once only.
    void release();
    DtrBracket(const DtrBracket &) = delete;
    DtrBracket &operator=(const DtrBracket &) = delete;

private:
    DeviceTransaction &m_transaction;
    bool m_asserted = true;
};

// Several requests with replies inside one drain and one DTR bracket. A failed step ends the
// chain: later steps are refused and DTR is released when the chain goes out of scope.
class ChainedExchange
{
public:
    explicit ChainedExchange(DeviceTransaction &transaction);

    ExchangeStatus step(QByteArrayView request, qsizetype replyLength);

private:
    DeviceTransaction &m_transaction;
    DtrBracket m_dtr;
    bool m_failed = false;
};

// Several requests without replies inside one DTR bracket, each followed by its own wait.
// A sequence without any request still asserts and releases DTR.
class WriteSequence
{
public:
    explicit WriteSequence(DeviceTransaction &transaction);

    void send(QByteArrayView request, int waitMs);

private:
    DeviceTransaction &m_transaction;
    DtrBracket m_dtr;
};
