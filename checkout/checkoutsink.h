#pragma once

struct CheckoutRun;
struct ReaderRecord;

// Where the results of a checkout go: the records store, a JSON document, a JUnit file, the
// factory's message bus. A front end registers its sinks on the runner once; the runner hands
// every reader's record to each of them, so no front end wires an output by hand.
//
// readerStarted and readerChecked come from the thread of the reader concerned, so several may
// come at once; runFinished comes from the thread that ran the whole run (not at all for a
// checkout of one reader on its own, as a station's socket makes).
class CheckoutSink
{
public:
    virtual ~CheckoutSink() = default;

    // The reader's checkout begins: its record has its id, station, port, operator, lot and
    // start, nothing measured yet.
    virtual void readerStarted(const ReaderRecord & /*record*/) {}
    // The reader's checkout is over and the reader put back: its whole record.
    virtual void readerChecked(const ReaderRecord & /*record*/) {}
    // Every reader of a run is done.
    virtual void runFinished(const CheckoutRun & /*run*/) {}
};
