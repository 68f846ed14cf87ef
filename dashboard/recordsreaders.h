#pragma once

#include "dashboard/reply.h"
#include "records/recordslocation.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class RecordsStore;

// The dashboard's readers of the records: a few threads, each with a connection of its own
// opened read-only, that run the database work of the requests one after another. The server's
// thread only parses requests and writes answers, so a slow query holds up one reader and never
// the others or the server; a Qt SQL connection stays on the thread that made it.
//
// A reader opens its connection on its first work and keeps it. Work that fails on a connection
// kept from earlier work (the server may have dropped it, the file may have been replaced) runs
// once more on a new one: reading is safe to repeat.
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
    ~RecordsReaders();
    RecordsReaders(const RecordsReaders &) = delete;
    RecordsReaders &operator=(const RecordsReaders &) = delete;

    // Queues work for the next free reader and returns at once.
    void post(Work work, Done done);

private:
    void serve();
    struct Job
    {
        Work work;
        Done done;
    };

    void run(const Job &job, std::unique_ptr<RecordsStore> &store);

    const RecordsLocation m_location;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};
