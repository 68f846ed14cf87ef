#pragma once

#include "store/recordkeeper.h"

#include <functional>

struct ReaderRecord;

// Where a front end keeps each finished reader's record when it has a thread of its own for
// them (the station's records thread) instead of keeping it on the reader's thread. kept
// must be called once the record is stored, queued in the outbox or known lost, and only then:
// what follows it (the checkout's end on the message bus) must never run ahead of the records.
class RecordKeeping
{
public:
    using Kept = std::function<void(const RecordKeeper::Kept &kept)>;

    virtual ~RecordKeeping() = default;
    virtual void keep(const ReaderRecord &record, Kept kept) = 0;
};
