#pragma once

#include "store/recordslocation.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class RecordsStore;

// The one connection a process holds to a records database on a server, shared by every
// thread that keeps records. A station checks each reader on a thread of its own; were each
// of them to hold a connection, a line of twenty stations of eight readers would ask the
// server for 160, more than PostgreSQL's default of 100, and the records beyond would be
// refused. One connection per process also spares each record the set-up of a new one.
//
// A Qt SQL connection may only be used by the thread that made it, so the connection lives
// on a thread of its own that runs the callers' work one piece after another while they wait.
// It is made on first use, dropped after a minute without work or after work that failed,
// and closed when the application object goes.
//
//     RecordsConnection::to(location).run([&](RecordsStore &store) { ... }, &error);
class RecordsConnection
{
public:
    // Work on the open store; false when a store failed (the connection is then not trusted).
    using Work = std::function<bool(RecordsStore &)>;

    // The process's connection to the database at location.
    static RecordsConnection &to(const RecordsLocation &location);

    explicit RecordsConnection(RecordsLocation location);
    ~RecordsConnection();
    RecordsConnection(const RecordsConnection &) = delete;
    RecordsConnection &operator=(const RecordsConnection &) = delete;

    // Runs work with the store open and returns once it has run: true. False, with the reason
    // in error, when the store could not be opened. Work that fails on a connection left open
    // by earlier work (the server may have dropped it meanwhile) runs once more on a new one,
    // so it must be safe to repeat, as storing a record is.
    bool run(const Work &work, QString *error);

    // Closes the connection and ends its thread; later work runs on a connection of its own.
    void stop();

private:
    struct Job
    {
        const Work *work = nullptr;
        bool opened = false;
        QString error;
        bool done = false;
    };

    void serve();
    void runJob(Job &job, std::unique_ptr<RecordsStore> &store);
    bool runAlone(const Work &work, QString *error) const;

    const RecordsLocation m_location;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_finished;
    std::deque<Job *> m_jobs;
    bool m_stopping = false;
    std::thread m_thread;
};
