// vorn-bench-cpu: the processor time of the exchange procedures against the emulated reader on
// a virtual clock, so that the protocol's waits cost nothing and only the tool's own work is
// left. Every benchmark also counts the heap allocations per exchange; with the bytes each one
// puts on the line, that shows whether anything allocates per byte.

#include "allocationcounter.h"
#include "device/readercommands.h"
#include "device/readerprotocol.h"
#include "emulator/emulatedline.h"
#include "emulator/emulatedreader.h"
#include "serial/devicetransaction.h"
#include "serial/virtualclock.h"

#include <benchmark/benchmark.h>

namespace {

// One open line to an eight-slot reader, as the window has it after Open.
struct EmulatedBench
{
    EmulatedBench()
    {
        reader.setOccupiedSlots(0x25);
        line.open();
    }

    VirtualClock clock;
    EmulatedReader reader;
    EmulatedLine line{reader, clock};
    DeviceTransaction transaction{line, clock};
    ReaderCommands commands{transaction};
};

// Runs one reader operation per iteration; lineBytes is what one operation puts on the line in
// both directions, exchanges how many exchanges it makes.
template <typename Operation>
void runExchanges(benchmark::State &state, int exchanges, int lineBytes, Operation operation)
{
    EmulatedBench bench;
    if (!operation(bench.commands)) {
        state.SkipWithError("the emulated reader did not answer");
        return;
    }
    const std::uint64_t allocationsBefore = AllocationCounter::count();
    for (auto _ : state)
        benchmark::DoNotOptimize(operation(bench.commands));
    const double allocations = double(AllocationCounter::count() - allocationsBefore);
    const double iterations = double(state.iterations());
    state.SetItemsProcessed(state.iterations() * exchanges);
    state.counters["exchanges"] = exchanges;
    state.counters["line_bytes"] = lineBytes;
    state.counters["allocs_per_exchange"] = allocations / iterations / exchanges;
}

void standardExchange(benchmark::State &state)
{
    runExchanges(state, 1, 1 + int(ReaderProtocol::StatusReply),
                 [](ReaderCommands &commands) { return commands.readStatus().ok(); });
}

void nonAbortingExchange(benchmark::State &state)
{
    runExchanges(state, 1, 2 + int(ReaderProtocol::EchoReply), [](ReaderCommands &commands) {
        return commands.echo('A').error == DeviceError::None;
    });
}

void chainedExchange(benchmark::State &state)
{
    const int lineBytes = 3 + int(ReaderProtocol::VersionReply + ReaderProtocol::ModelTypeReply +
                                  ReaderProtocol::SerialNumberReply);
    runExchanges(state, 3, lineBytes,
                 [](ReaderCommands &commands) { return commands.identify().ok(); });
}

void polledExchange(benchmark::State &state)
{
    runExchanges(state, 1, 1 + int(ReaderProtocol::TarvikStatusReply),
                 [](ReaderCommands &commands) { return commands.tarvikStatus().ok(); });
}

void writeOnlyExchange(benchmark::State &state)
{
    const ClockSelection clocks = ClockSelection::fromBytes(0x1B, 0xE4);
    runExchanges(state, 1, 3, [&clocks](ReaderCommands &commands) {
        commands.writeClocks(clocks);
        return true;
    });
}

} // namespace

BENCHMARK(standardExchange)->Name("standard/status");
BENCHMARK(nonAbortingExchange)->Name("non-aborting/echo");
BENCHMARK(chainedExchange)->Name("chained/identify");
BENCHMARK(polledExchange)->Name("polled/tarvik-status");
BENCHMARK(writeOnlyExchange)->Name("write-only/set-clocks");

BENCHMARK_MAIN();
