#pragma once

#include "outputs/recordkeeping.h"
#include "station/recordsworker.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>
#include <optional>
#include <utility>

// The station's records, as the window sees them: every request goes to the records thread
// (the records service, running RecordsWorker's work) and its answer comes back as a signal, so the
// window never waits for the database. Only the newest list request counts: one made while another
// is out replaces any still waiting, and the answer of an outdated one is not shown. A request that
// is out longer than SlowRequestMs, or a server that did not answer, turns isAnswering() false
// until the database answers again.
class StationRecords : public QObject, public RecordKeeping
{
    Q_OBJECT

public:
    static constexpr int SlowRequestMs = 2000;

    explicit StationRecords(RecordsLocation location,
                            RecordsLocation outbox = RecordsLocation::outboxLocation(),
                            QObject *parent = nullptr);
    // Keeps every record handed over before, however long the database takes; drops the
    // reads still waiting.
    ~StationRecords() override;
    StationRecords(const StationRecords &) = delete;
    StationRecords &operator=(const StationRecords &) = delete;

    const RecordsLocation &location() const { return m_location; }

    // From any thread, a tile's as its checkout ends: returns at once; the signal kept()
    // reports to the window, and then, on the records thread, what follows the record.
    void keep(const ReaderRecord &record, Kept then) override;
    // The rest from the window's thread.
    // The newest checkouts the filter lets through, at most limit of them: listed() answers.
    void list(const RecordsFilter &filter, int limit);
    void read(const QString &id);
    void writeCertificate(const QString &id, const QString &path);
    // The station's figures of today (the station's own clock): yieldRead() answers.
    void readTodaysYield(const QString &station);

    bool isAnswering() const { return m_answering; }
    // Why not, when known.
    QString notAnsweringReason() const { return m_reason; }

signals:
    void kept(const KeepResult &result);
    void listed(const ListResult &result);
    void recordRead(const ReadResult &result);
    void certificateWritten(const CertificateResult &result);
    void yieldRead(const YieldResult &result);
    void answeringChanged(bool answering);

private:
    // Runs work on the records thread, the window told that a request is out while it runs;
    // a read is dropped once the window closes.
    void request(RecordsService::Work work, bool isRead);
    // Hands answer to the window's thread.
    void answer(std::function<void()> answer);
    // A read on the records thread whose result goes to deliver on the window's thread.
    template <typename Result, typename Read>
    void ask(Read read, void (StationRecords::*deliver)(const Result &))
    {
        request(
            [this, read = std::move(read), deliver](RecordsService::Session &session) {
                Result result;
                const bool storeHeld = read(session, result);
                answer([this, deliver, result] { (this->*deliver)(result); });
                return storeHeld;
            },
            true);
    }
    void sendList();
    void answerListed(const ListResult &result);
    void workerBusy(bool busy);
    void reached(bool answering, const QString &reason);
    void setAnswering(bool answering, const QString &reason);

    const RecordsLocation m_location;
    const RecordsWorker m_worker;
    std::atomic<bool> m_reading{true};
    bool m_listOut = false;
    std::optional<std::pair<RecordsFilter, int>> m_listWaiting;
    QTimer m_slow;
    bool m_answering = true;
    QString m_reason;
    // Last: ended first, it keeps what was handed over while the rest still lives.
    RecordsService m_service;
};
