#include "dashboard/sharedanswers.h"

#include <utility>

void SharedAnswers::answer(const QString &key, const Respond &respond, const Make &make)
{
    forgetOld();
    const auto found = m_entries.find(key);
    if (found != m_entries.end()) {
        if (!found->ready)
            found->waiting.append(respond);
        else
            respond(found->reply);
        return;
    }
    Entry &entry = m_entries[key];
    entry.waiting.append(respond);
    ++m_made;
    make([this, key](const Reply &reply) { finish(key, reply); });
}

void SharedAnswers::finish(const QString &key, const Reply &reply)
{
    const auto found = m_entries.find(key);
    if (found == m_entries.end())
        return;
    const QList<Respond> waiting = std::exchange(found->waiting, {});
    if (reply.status >= 500) {
        m_entries.erase(found);
    } else {
        found->ready = true;
        found->reply = reply;
        found->age.start();
    }
    for (const Respond &respond : waiting)
        respond(reply);
}

void SharedAnswers::forgetOld()
{
    for (auto entry = m_entries.begin(); entry != m_entries.end();) {
        if (entry->ready && entry->age.elapsed() >= m_keep.count())
            entry = m_entries.erase(entry);
        else
            ++entry;
    }
}
