#include "store/recordsservice.h"

#include <QCoreApplication>

#include <chrono>
#include <map>
#include <utility>

namespace {

// A station keeps a record every few seconds while it works; a shared connection idle longer
// than this is given back to the server.
constexpr int SharedIdleMs = 60'000;

// The shared services of the process, by URL. Never destroyed: their connections are closed
// while the application object goes (its post routines run while Qt SQL's driver is still
// loaded), not among the static destructors afterwards.
struct SharedServices
{
    std::mutex mutex;
    std::map<QString, std::unique_ptr<RecordsService>> byUrl;
};

SharedServices &sharedServices()
{
    static auto *all = new SharedServices;
    return *all;
}

void stopShared()
{
    SharedServices &all = sharedServices();
    const std::lock_guard locked(all.mutex);
    for (auto &[url, service] : all.byUrl)
        service->stop();
}

} // namespace

RecordsStore *RecordsService::Session::store()
{
    m_asked = true;
    if (m_store)
        return m_store.get();
    if (m_unanswered && m_policy.retryAfterMs > 0 && m_failedAt.isValid() &&
        m_failedAt.elapsed() < m_policy.retryAfterMs)
        return nullptr;
    QElapsedTimer attempt;
    attempt.start();
    auto store = std::make_unique<RecordsStore>(m_location);
    if (!store->open(m_policy.mode)) {
        m_failure = store->errorText();
        m_unanswered = attempt.elapsed() >= m_policy.unansweredAfterMs;
        m_failedAt.start();
        return nullptr;
    }
    m_store = std::move(store);
    m_failure.clear();
    m_unanswered = false;
    return m_store.get();
}

bool RecordsService::Session::mayRepeat() const
{
    return m_policy.repeatOnNewConnection && m_reused;
}

RecordsService &RecordsService::shared(const RecordsLocation &location)
{
    SharedServices &all = sharedServices();
    const std::lock_guard locked(all.mutex);
    if (all.byUrl.empty())
        qAddPostRoutine(stopShared);
    std::unique_ptr<RecordsService> &service = all.byUrl[location.url()];
    if (!service) {
        Policy policy;
        policy.repeatOnNewConnection = true;
        policy.finishQueuedWork = true;
        policy.idleCloseAfterMs = SharedIdleMs;
        service = std::make_unique<RecordsService>(location, policy);
    }
    return *service;
}

RecordsService::RecordsService(RecordsLocation location, Policy policy, Reached reached)
    : m_location(std::move(location)), m_policy(policy), m_reached(std::move(reached))
{
    for (int index = 0; index < m_policy.threads; ++index)
        m_threads.emplace_back([this] { serve(); });
}

RecordsService::~RecordsService()
{
    stop();
}

void RecordsService::stop()
{
    {
        const std::lock_guard locked(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread &thread : m_threads) {
        if (thread.joinable())
            thread.join();
    }
}

bool RecordsService::run(const StoreWork &work, QString *error)
{
    Q_ASSERT(m_policy.finishQueuedWork); // else a stop could leave the caller waiting
    std::mutex finishing;
    std::condition_variable finished;
    bool done = false;
    bool opened = false;
    QString failure;
    {
        const std::lock_guard locked(m_mutex);
        if (m_stopping) // the queue is closed: a connection of its own
            return runAlone(work, error);
        m_queue.push_back([&](Session &session) {
            RecordsStore *store = session.store();
            const bool held = !store || work(*store);
            // The last run of the work: it held, or it does not run again.
            if (held || !session.mayRepeat()) {
                const std::lock_guard finishedLock(finishing);
                opened = store != nullptr;
                failure = session.failure();
                done = true;
                finished.notify_all();
            }
            return held;
        });
    }
    m_wake.notify_one();
    std::unique_lock lock(finishing);
    finished.wait(lock, [&done] { return done; });
    if (!opened && error)
        *error = failure;
    return opened;
}

bool RecordsService::runAlone(const StoreWork &work, QString *error) const
{
    RecordsStore store(m_location);
    if (!store.open(m_policy.mode)) {
        if (error)
            *error = store.errorText();
        return false;
    }
    work(store);
    return true;
}

void RecordsService::post(Work work)
{
    {
        const std::lock_guard locked(m_mutex);
        m_queue.push_back(std::move(work));
    }
    m_wake.notify_one();
}

void RecordsService::serve()
{
    Session session(m_location, m_policy);
    std::unique_lock lock(m_mutex);
    const auto hasWork = [this] { return !m_queue.empty() || m_stopping; };
    for (;;) {
        if (session.m_store && m_policy.idleCloseAfterMs > 0) {
            if (!m_wake.wait_for(lock, std::chrono::milliseconds(m_policy.idleCloseAfterMs),
                                 hasWork)) {
                lock.unlock();
                session.m_store.reset(); // idle: given back, on the thread that opened it
                lock.lock();
                continue;
            }
        } else {
            m_wake.wait(lock, hasWork);
        }
        if (m_stopping && (m_queue.empty() || !m_policy.finishQueuedWork))
            break;
        const Work work = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        run(work, session);
        lock.lock();
    }
    lock.unlock();
    session.m_store.reset(); // on the thread that opened it
}

void RecordsService::run(const Work &work, Session &session)
{
    session.m_asked = false;
    session.m_reused = session.m_store != nullptr;
    while (!work(session)) {
        const bool repeat = session.mayRepeat();
        session.m_store.reset();
        if (!repeat)
            break;
        session.m_reused = false;
    }
    if (session.m_asked && m_reached)
        m_reached(session.answering(), session.m_failure);
}
