#pragma once

#include <QByteArrayView>

class QIODevice;
class WaitClock;

// What happened on the line during an exchange, for a technician who wants to see the
// conversation with the reader.
enum class TraceKind
{
    Write, // bytes to the reader
    Read,  // bytes from the reader
    Drain, // bytes from the reader, thrown away before a request
    Dtr,   // DTR asserted (value 1) or released (value 0)
    Wait,  // a fixed wait of value milliseconds
    Check, // a reply-count check: value is the count the line reported
};

struct TraceEvent
{
    TraceKind kind = TraceKind::Write;
    QByteArrayView bytes;
    qint64 value = 0;
    const char *command = "";
};

class ExchangeTrace
{
public:
    virtual ~ExchangeTrace() = default;
    virtual void record(const TraceEvent &event) = 0;
};

// Writes one line per event: milliseconds since start, a direction mark, the bytes in hex and
// as ASCII where printable, and the command's name.
class TextTrace final : public ExchangeTrace
{
public:
    TextTrace(QIODevice &output, const WaitClock &clock);

    void record(const TraceEvent &event) override;

    static QByteArray formatLine(qint64 milliseconds, const TraceEvent &event);

private:
    QIODevice &m_output;
    const WaitClock &m_clock;
};
