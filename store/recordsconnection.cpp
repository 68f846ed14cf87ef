#include "store/recordsconnection.h"

#include "store/recordsstore.h"

#include <QCoreApplication>

#include <chrono>
#include <map>
#include <memory>
#include <utility>

namespace {

// A station keeps a record every few seconds while it works; a connection idle longer than
// this is given back to the server.
constexpr std::chrono::seconds IdleTime{60};

// Every connection of the process, by URL. Never destroyed: the connections are closed while
// the application object goes (its post routines run while Qt SQL's driver is still loaded),
// not among the static destructors afterwards.
struct Connections
{
    std::mutex mutex;
    std::map<QString, std::unique_ptr<RecordsConnection>> byUrl;
};

Connections &connections()
{
    static auto *all = new Connections;
    return *all;
}

void stopAll()
{
    Connections &all = connections();
    const std::lock_guard locked(all.mutex);
    for (auto &[url, connection] : all.byUrl)
        connection->stop();
}

} // namespace

RecordsConnection &RecordsConnection::to(const RecordsLocation &location)
{
    Connections &all = connections();
    const std::lock_guard locked(all.mutex);
    if (all.byUrl.empty())
        qAddPostRoutine(stopAll);
    std::unique_ptr<RecordsConnection> &connection = all.byUrl[location.url()];
    if (!connection)
        connection = std::make_unique<RecordsConnection>(location);
    return *connection;
}

RecordsConnection::RecordsConnection(RecordsLocation location)
    : m_location(std::move(location)), m_thread([this] { serve(); })
{
}

RecordsConnection::~RecordsConnection()
{
    stop();
}

bool RecordsConnection::run(const Work &work, QString *error)
{
    Job job;
    job.work = &work;
    std::unique_lock lock(m_mutex);
    if (m_stopping) {
        lock.unlock();
        return runAlone(work, error);
    }
    m_jobs.push_back(&job);
    m_wake.notify_one();
    m_finished.wait(lock, [&job] { return job.done; });
    if (!job.opened && error)
        *error = job.error;
    return job.opened;
}

void RecordsConnection::stop()
{
    {
        const std::lock_guard locked(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void RecordsConnection::serve()
{
    std::unique_ptr<RecordsStore> store;
    std::unique_lock lock(m_mutex);
    const auto hasWork = [this] { return !m_jobs.empty() || m_stopping; };
    for (;;) {
        if (m_jobs.empty()) {
            if (m_stopping)
                break;
            if (!store) {
                m_wake.wait(lock, hasWork);
            } else if (!m_wake.wait_for(lock, IdleTime, hasWork)) {
                lock.unlock();
                store.reset();
                lock.lock();
            }
            continue;
        }
        Job *job = m_jobs.front();
        m_jobs.pop_front();
        lock.unlock();
        runJob(*job, store);
        lock.lock();
        job->done = true;
        m_finished.notify_all();
    }
    lock.unlock();
    store.reset();
}

void RecordsConnection::runJob(Job &job, std::unique_ptr<RecordsStore> &store)
{
    for (const bool reused : {store != nullptr, false}) {
        if (!store) {
            store = std::make_unique<RecordsStore>(m_location);
            if (!store->open()) {
                job.opened = false;
                job.error = store->errorText();
                store.reset();
                return;
            }
        }
        job.opened = true;
        if ((*job.work)(*store))
            return;
        // Whatever went wrong, the next work starts on a new connection.
        store.reset();
        if (!reused)
            return;
    }
}

bool RecordsConnection::runAlone(const Work &work, QString *error) const
{
    RecordsStore store(m_location);
    if (!store.open()) {
        if (error)
            *error = store.errorText();
        return false;
    }
    work(store);
    return true;
}
