#pragma once

#include <QString>

#include <optional>

struct Identification;
struct ReaderRecord;
struct StepRecord;

// Where a checkout's progress and its questions to the operator go: the command line prints
// them and reads the terminal, a station window shows them on a tile. Every call comes from the
// thread of the reader concerned, so several may come at once; reader is the reader's place in
// the run (0 for a checkout of one reader).
class CheckoutObserver
{
public:
    virtual ~CheckoutObserver() = default;

    // stepIndex counts from 0 of stepCount.
    virtual void stepStarted(int /*reader*/, const QString & /*port*/, int /*stepIndex*/,
                             int /*stepCount*/, const QString & /*stepName*/)
    {
    }
    virtual void stepFinished(int /*reader*/, const QString & /*port*/, int /*stepIndex*/,
                              int /*stepCount*/, const StepRecord & /*step*/)
    {
    }
    // Once the reader has told who it is (its model, firmware and serial number), before the
    // step that asked is finished.
    virtual void readerIdentified(int /*reader*/, const QString & /*port*/,
                                  const Identification & /*identification*/)
    {
    }
    // Something the operator must hear of that is no step's result: what an unfinished earlier
    // checkout left in the reader and what became of it, a journal that cannot be written.
    virtual void notice(int /*reader*/, const QString & /*port*/, const QString & /*text*/) {}
    // Once the reader has been put back as it was found (or could not be).
    virtual void readerFinished(int /*reader*/, const ReaderRecord & /*record*/) {}

    // A yes-or-no question about the reader on port with the serial number given (six digits).
    // It blocks the reader's checkout until answered; nothing when no answer can come (the
    // operator's input ended), which the step records as an error, never as a no. When the
    // checkout is stopped meanwhile, the answer is not used.
    virtual std::optional<bool> ask(int reader, const QString &port, const QString &serial,
                                    const QString &question) = 0;
};
