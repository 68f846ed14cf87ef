// Fuzz target for the exchanges: the reader commands and the display commands run over a line
// whose far end answers every request with bytes and timing taken from the fuzz input.
//
// The input is a run of commands, until it is used up or 64 have run. Each command is one byte
// that chooses it, then the argument bytes it needs. Every request it writes takes its reply
// from the input at that moment (length, delay, spacing, bytes, line faults: see ScriptedLine).
// After each command one byte gives the idle time before the next, in steps of 10 ms.
//
// Besides the sanitizers' own checks, every command must leave DTR released, must take exactly
// the time its exchange allows, and must show only what the bytes it read say.

#include "fuzzscript.h"
#include "invariant.h"
#include "scriptedline.h"

#include "device/readercommands.h"
#include "device/readerprotocol.h"
#include "display/displaycommands.h"
#include "serial/devicetransaction.h"
#include "serial/virtualclock.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>

namespace {

constexpr int MaxCommands = 64;
constexpr qint64 IdleStepMs = 10;
constexpr qint64 WaitMs = DeviceTransaction::ReplyWaitMs;
constexpr qint64 PolledTimeoutMs = WaitMs * DeviceTransaction::PollChecks;

class Harness
{
public:
    Harness(const std::uint8_t *data, std::size_t size)
        : script(data, size), line(script, clock), transaction(line, clock), reader(transaction),
          display(transaction)
    {
        line.watchBuffer(transaction.buffer().data(), CommandBuffer::Size);
    }

    // Milliseconds since the running command began.
    qint64 elapsedMs() const { return clock.elapsedMilliseconds() - commandStartMs; }

    FuzzScript script;
    VirtualClock clock;
    ScriptedLine line;
    DeviceTransaction transaction;
    ReaderCommands reader;
    DisplayCommands display;
    qint64 commandStartMs = 0;
    int errorsAtCommandStart = 0;
};

quint8 readByte(const Harness &h, qsizetype index)
{
    return quint8(h.line.lastRead().at(index));
}

// A reply taken as good must be the bytes the line delivered last, of the reply's exact length.
void requireReply(const Harness &h, qsizetype length, const char *what)
{
    require(h.line.lastRead().size() == length, what);
}

void readStatus(Harness &h)
{
    const DeviceResult<SlotStatus> status = h.reader.readStatus();
    require(h.elapsedMs() == WaitMs, "status: not one 50 ms wait");
    if (!status.ok()) {
        require(status.error == DeviceError::ReadError, "status: wrong error");
        return;
    }
    requireReply(h, ReaderProtocol::StatusReply, "status: reply of the wrong length taken");
    require(status.value.occupancy == readByte(h, 0) &&
                status.value.selectedSlot == (readByte(h, 1) & 7),
            "status: shows other than it read");
}

void selectSlot(Harness &h)
{
    h.reader.selectSlot(h.script.byte());
    require(h.elapsedMs() == WaitMs, "select slot: not one 50 ms wait");
}

void identify(Harness &h)
{
    const Identification identification = h.reader.identify();
    const qint64 elapsed = h.elapsedMs();
    require(elapsed == WaitMs || elapsed == 2 * WaitMs || elapsed == 3 * WaitMs,
            "identification: not one 50 ms wait per step");
    if (!identification.ok()) {
        require(!identification.serialNumber, "identification: failed yet has a serial number");
        return;
    }
    require(elapsed == 3 * WaitMs && identification.version && identification.modelType &&
                identification.serialNumber,
            "identification: succeeded without all three steps");
    requireReply(h, ReaderProtocol::SerialNumberReply, "identification: serial of wrong length");
    require(*identification.serialNumber == (readByte(h, 0) << 8 | readByte(h, 1)),
            "identification: serial number other than it read");
    require(!identification.text().isEmpty(), "identification: no text");
}

void readClocks(Harness &h)
{
    const DeviceResult<ClockSelection> clocks = h.reader.readClocks();
    require(h.elapsedMs() == WaitMs, "clock read: not one 50 ms wait");
    if (!clocks.ok())
        return;
    requireReply(h, ReaderProtocol::ClocksReply, "clock read: reply of the wrong length taken");
    require(clocks.value.firstByte() == readByte(h, 0) &&
                clocks.value.secondByte() == readByte(h, 1),
            "clock read: shows other than it read");
}

ClockSelection scriptedClocks(Harness &h)
{
    const quint8 first = h.script.byte();
    return ClockSelection::fromBytes(first, h.script.byte());
}

void writeClocks(Harness &h)
{
    h.reader.writeClocks(scriptedClocks(h));
    require(h.elapsedMs() == WaitMs, "clock write: not one 50 ms wait");
}

void storeClocks(Harness &h)
{
    h.reader.storeClocks(scriptedClocks(h));
    require(h.elapsedMs() == 3 * WaitMs, "store clocks: not three 50 ms waits");
}

void readTime(Harness &h)
{
    const DeviceResult<quint16> counts = h.reader.readTimeCounts();
    require(h.elapsedMs() == WaitMs, "time read: not one 50 ms wait");
    if (!counts.ok())
        return;
    requireReply(h, ReaderProtocol::TimeReply, "time read: reply of the wrong length taken");
    require(counts.value == (readByte(h, 0) << 8 | readByte(h, 1)),
            "time read: shows other than it read");
}

void storeTime(Harness &h)
{
    const quint8 high = h.script.byte();
    h.reader.storeTimeCounts(quint16(high << 8 | h.script.byte()));
    require(h.elapsedMs() == 2 * WaitMs, "time set: not two 50 ms waits");
}

void echo(Harness &h)
{
    const EchoResult echoed = h.reader.echo(h.script.byte());
    require(h.elapsedMs() == WaitMs, "echo: not one 50 ms wait");
    if (echoed.error != DeviceError::None) {
        require(echoed.echoed == '?', "echo: failure without the stand-in");
        return;
    }
    requireReply(h, ReaderProtocol::EchoReply, "echo: reply of the wrong length taken");
    require(echoed.echoed == readByte(h, 0), "echo: shows other than it read");
}

void requirePolledTime(const Harness &h, bool done)
{
    const qint64 elapsed = h.elapsedMs();
    require(elapsed % WaitMs == 0 && elapsed <= PolledTimeoutMs, "Tarvik: waits out of bounds");
    // A line that answers a count with an error is lost: the polling ends there rather than
    // waiting out its second.
    const bool lineFailed = h.line.errorsReported() > h.errorsAtCommandStart;
    require(done || lineFailed || elapsed == PolledTimeoutMs, "Tarvik: timeout before 21 checks");
}

void tarvikStatus(Harness &h)
{
    const DeviceResult<quint8> occupancy = h.reader.tarvikStatus();
    requirePolledTime(h, occupancy.ok());
    if (!occupancy.ok()) {
        require(occupancy.error == DeviceError::Timeout, "Tarvik status: wrong error");
        return;
    }
    requireReply(h, ReaderProtocol::TarvikStatusReply, "Tarvik status: wrong length taken");
    require(occupancy.value == readByte(h, 2), "Tarvik status: shows other than it read");
}

void tarvikSelectSlot(Harness &h)
{
    const DeviceError error = h.reader.tarvikSelectSlot(h.script.byte());
    requirePolledTime(h, error == DeviceError::None);
    if (error == DeviceError::None)
        requireReply(h, ReaderProtocol::TarvikSelectSlotReply, "Tarvik select: wrong length");
}

void showCharacter(Harness &h)
{
    h.display.showCharacter(h.script.byte());
    require(h.elapsedMs() == WaitMs, "character: not one 50 ms wait");
}

void showText(Harness &h)
{
    const QByteArray text = h.script.bytes(16);
    h.display.showText(QString::fromLatin1(text));
    require(h.elapsedMs() == DisplayCommands::TextCharacterWaitMs * text.size(),
            "text: not 500 ms per character");
}

void runDisplayTest(Harness &h)
{
    h.display.runDisplayTest();
}

using Command = void (*)(Harness &);
constexpr std::array<Command, 14> Commands{
    readStatus,       selectSlot,    identify,  readClocks,     writeClocks,
    storeClocks,      readTime,      storeTime, echo,           tarvikStatus,
    tarvikSelectSlot, showCharacter, showText,  runDisplayTest,
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Harness h(data, size);
    for (int count = 0; count < MaxCommands && !h.script.atEnd(); ++count) {
        const Command command = Commands.at(std::size_t(h.script.choice(int(Commands.size()))));
        h.commandStartMs = h.clock.elapsedMilliseconds();
        h.errorsAtCommandStart = h.line.errorsReported();
        command(h);
        require(!h.line.dataTerminalReady(), "DTR left asserted after a command");
        h.clock.advanceMicroseconds(qint64(h.script.byte()) * IdleStepMs * 1000);
    }
    return 0;
}
