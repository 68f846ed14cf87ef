#pragma once

#include "dashboard/reply.h"
#include "store/recordslocation.h"
#include "store/recordsservice.h"

#include <QString>

#include <functional>
#include <optional>

class RecordsStore;

// The dashboard's readers of the records: a few threads of the records service sharing one
// queue, each with a connection of its own opened read-only, that run the database work of the
// requests. The server's thread only parses requests and writes answers, so a slow query holds
// up one reader and never the others or the server.
//
// Work that fails on a connection kept from earlier work (the server may have dropped it, the
// file may have been replaced) runs once more on a new one: reading is safe to repeat. Work
// still queued when the dashboard stops is dropped: nobody waits for its answer.
class RecordsReaders
{
public:
    // Runs on a reader thread with the store open: the answer, or nothing when the database
    // failed, with the reason in error (or, left empty, in the store's errorText()).
    using Work = std::function<std::optional<Reply>(RecordsStore &store, QString &error)>;
    // Takes the answer, on the reader thread: the work's, or 503 with the reason when the store
    // could not be opened or the work failed.
    using Done = std::function<void(const Reply &reply)>;

    RecordsReaders(RecordsLocation location, int threads);

    // Queues work for the next free reader and returns at once.
    void post(Work work, Done done);

private:
    RecordsService m_service;
};
