#include "dashboard/recordsreaders.h"

#include "records/recordsstore.h"

#include <utility>

RecordsReaders::RecordsReaders(RecordsLocation location, int threads)
    : m_location(std::move(location))
{
    for (int index = 0; index < threads; ++index)
        m_threads.emplace_back([this] { serve(); });
}

RecordsReaders::~RecordsReaders()
{
    {
        const std::lock_guard locked(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

void RecordsReaders::post(Work work, Done done)
{
    {
        const std::lock_guard locked(m_mutex);
        m_jobs.push_back({std::move(work), std::move(done)});
    }
    m_wake.notify_one();
}

void RecordsReaders::serve()
{
    std::unique_ptr<RecordsStore> store;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_jobs.empty() || m_stopping; });
        // Work still queued when the dashboard stops is dropped: nobody waits for its answer.
        if (m_stopping)
            break;
        const Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        run(job, store);
        lock.lock();
    }
    lock.unlock();
    store.reset();
}

void RecordsReaders::run(const Job &job, std::unique_ptr<RecordsStore> &store)
{
    constexpr int Unavailable = 503;
    for (const bool reused : {store != nullptr, false}) {
        if (!store) {
            store = std::make_unique<RecordsStore>(m_location);
            if (!store->open(RecordsStore::OpenMode::ReadOnly)) {
                const QString error = store->errorText();
                store.reset();
                job.done(Reply::error(Unavailable, error));
                return;
            }
        }
        QString error;
        if (const std::optional<Reply> reply = job.work(*store, error)) {
            job.done(*reply);
            return;
        }
        if (error.isEmpty())
            error = store->errorText();
        store.reset();
        if (!reused) {
            job.done(Reply::error(Unavailable, error));
            return;
        }
    }
}
