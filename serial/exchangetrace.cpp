#include "serial/exchangetrace.h"

#include "serial/waitclock.h"

#include <QIODevice>

namespace {

QByteArray printable(QByteArrayView bytes)
{
    QByteArray text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        text.append(value >= 0x20 && value < 0x7F ? byte : '.');
    }
    return text;
}

QByteArray describe(const TraceEvent &event)
{
    switch (event.kind) {
    case TraceKind::Write:
        return "> " + event.bytes.toByteArray().toHex(' ') + "  |" + printable(event.bytes) + '|';
    case TraceKind::Read:
        return "< " + event.bytes.toByteArray().toHex(' ') + "  |" + printable(event.bytes) + '|';
    case TraceKind::Drain:
        return "< " + event.bytes.toByteArray().toHex(' ') + "  |" + printable(event.bytes) +
               "| drained";
    case TraceKind::Dtr:
        return event.value ? "  DTR on" : "  DTR off";
    case TraceKind::Wait:
        return "  wait " + QByteArray::number(event.value) + " ms";
    case TraceKind::Check:
        return "  " + QByteArray::number(event.value) + " bytes waiting";
    }
    return {};
}

} // namespace

TextTrace::TextTrace(QIODevice &output, const WaitClock &clock) : m_output(output), m_clock(clock)
{
}

void TextTrace::record(const TraceEvent &event)
{
    m_output.write(formatLine(m_clock.elapsedMilliseconds(), event));
}

QByteArray TextTrace::formatLine(qint64 milliseconds, const TraceEvent &event)
{
    QByteArray line =
        QByteArray::number(milliseconds).rightJustified(7, ' ') + ' ' + describe(event);
    if (event.command && *event.command)
        line += QByteArray("  [") + event.command + ']';
    return line + '\n';
}
