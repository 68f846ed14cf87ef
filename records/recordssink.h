#pragma once

#include "checkout/checkoutsink.h"
#include "records/recordkeeper.h"
#include "records/recordslocation.h"

#include <QString>

class QIODevice;

// Keeps the records of a run once every reader is done: stored, or queued in the outbox with a
// warning on the error stream. A record kept neither way is lost, which the caller must make
// known (the checkout's exit code).
class RecordsSink final : public CheckoutSink
{
public:
    RecordsSink(RecordsLocation location, QIODevice &warnings);

    void runFinished(const CheckoutRun &run) override;
    const RecordKeeper::Kept &kept() const { return m_kept; }

private:
    RecordsLocation m_location;
    QIODevice &m_warnings;
    RecordKeeper::Kept m_kept;
};
