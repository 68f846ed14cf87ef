#pragma once

#include "store/recordslocation.h"
#include "store/recordsstore.h"

#include <QElapsedTimer>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The records as a program's windows and servers reach them: work queued from any thread and
// run, in the order queued, on threads of the service's own, each with a connection it opens
// at its first work and keeps, so that a database that is slow or away holds up those threads
// and nothing else (a Qt SQL connection stays on the thread that made it). A connection that
// failed under a statement is given up, and the next work makes a new one.
//
// What a front end expects of a database that fails differs, and is given as a Policy: the
// station backs off from a server that did not answer and keeps every record queued when it
// closes; the dashboard shares one queue among several threads, reads once more on a new
// connection when one kept from earlier work failed, and drops what nobody waits for.
//
//     RecordsService service(location, policy);
//     service.post([](RecordsService::Session &session) {
//         if (RecordsStore *store = session.store()) ...; else ... session.failure() ...
//         return true;
//     });
class RecordsService
{
public:
    struct Policy
    {
        RecordsStore::OpenMode mode = RecordsStore::OpenMode::CreateIfMissing;
        int threads = 1; // sharing one queue; with one, work runs in the order queued
        // An open that took this long to fail met a server that did not answer (the client
        // waits 5 s for one that accepts the connection and stays silent) ...
        int unansweredAfterMs = 1000;
        // ... and such a server is tried again only after this long: meanwhile store() gives
        // nothing at once, with that failure. Zero: every work tries again.
        int retryAfterMs = 0;
        // Work that fails on a connection kept from earlier work runs once more on a new one.
        bool repeatOnNewConnection = false;
        // Work still queued when the service ends is run (true) or dropped (false).
        bool finishQueuedWork = false;
    };

    // One thread's connection, as a work sees it.
    class Session
    {
    public:
        // The open store, opening it when there is none; nothing when it cannot be opened now,
        // with the reason in failure().
        RecordsStore *store();
        QString failure() const { return m_failure; }
        // Whether a work that failed under the store now runs once more on a new connection:
        // if so it should return false and leave answering to the next run.
        bool mayRepeat() const;
        // Whether a server that was asked answered, or was never asked: false while it does
        // not answer.
        bool answering() const { return !m_unanswered || m_store != nullptr; }

    private:
        friend class RecordsService;
        Session(const RecordsLocation &location, const Policy &policy)
            : m_location(location), m_policy(policy)
        {
        }

        const RecordsLocation &m_location;
        const Policy &m_policy;
        std::unique_ptr<RecordsStore> m_store;
        QString m_failure;         // why the last open failed
        bool m_unanswered = false; // ... and whether it was for want of an answer
        QElapsedTimer m_failedAt;  // since when
        bool m_reused = false;     // the store was open before the work at hand
        bool m_asked = false;      // the work at hand asked for the store
    };

    // Returns false when the store failed under it: the connection is then given up.
    using Work = std::function<bool(Session &session)>;
    // After every work that asked for the store: whether its server answers, and if not why.
    using Reached = std::function<void(bool answering, const QString &reason)>;

    RecordsService(RecordsLocation location, Policy policy, Reached reached = {});
    // Runs or drops what is queued, as the policy says, then closes every connection.
    ~RecordsService();
    RecordsService(const RecordsService &) = delete;
    RecordsService &operator=(const RecordsService &) = delete;

    const RecordsLocation &location() const { return m_location; }

    // From any thread: queues work and returns at once.
    void post(Work work);

private:
    void serve();
    void run(const Work &work, Session &session);

    const RecordsLocation m_location;
    const Policy m_policy;
    const Reached m_reached;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Work> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};
