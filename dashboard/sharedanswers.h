#pragma once

#include "dashboard/reply.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>

// Answers that identical requests share: a request asked again while its answer is being made
// waits for that answer, and one asked within the keeping time after it was made gets it too,
// so a room of browsers refreshing the same figures costs the database one query. A failure
// (5xx) goes to those who waited for it but is not kept. Used on one thread only.
class SharedAnswers
{
public:
    using Respond = std::function<void(const Reply &reply)>;
    // Makes the answer and hands it to the given function once, on this object's thread.
    using Make = std::function<void(Respond done)>;

    explicit SharedAnswers(std::chrono::milliseconds keep) : m_keep(keep) {}

    // Answers the request of key through respond: from a kept answer, by waiting for the one
    // being made, or by calling make.
    void answer(const QString &key, const Respond &respond, const Make &make);
    // How many answers were made (make called).
    int made() const { return m_made; }

private:
    struct Entry
    {
        bool ready = false;
        Reply reply;
        QElapsedTimer age; // since it was ready
        QList<Respond> waiting;
    };

    void finish(const QString &key, const Reply &reply);
    void forgetOld();

    const std::chrono::milliseconds m_keep;
    QHash<QString, Entry> m_entries;
    int m_made = 0;
};
