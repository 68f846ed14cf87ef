#include "store/recordsservice.h"

#include <utility>

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

RecordsService::RecordsService(RecordsLocation location, Policy policy, Reached reached)
    : m_location(std::move(location)), m_policy(policy), m_reached(std::move(reached))
{
    for (int index = 0; index < m_policy.threads; ++index)
        m_threads.emplace_back([this] { serve(); });
}

RecordsService::~RecordsService()
{
    {
        const std::lock_guard locked(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
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
    for (;;) {
        m_wake.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
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
