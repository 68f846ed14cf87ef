#pragma once

#include "outputs/recordkeeping.h"
#include "station/recordsworker.h"

#include <QObject>
#include <QTimer>

#include <optional>

class QThread;

// The station's records, as the window sees them: every request goes to the records thread
// (RecordsWorker) and its answer comes back as a signal, so the window never waits for the
// database. Only the newest list request counts: one made while another is out replaces any
// still waiting, and the answer of an outdated one is not shown. A request that is out longer
// than SlowRequestMs, or a server that did not answer, turns isAnswering() false until the
// database answers again.
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
    void list(const RecordsQuery &query);
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

    // To the records thread.
    void listRequested(const RecordsQuery &query, QPrivateSignal);
    void readRequested(const QString &id, QPrivateSignal);
    void certificateRequested(const QString &id, const QString &path, QPrivateSignal);
    void yieldRequested(const QString &station, const QDateTime &dayStart, const QDateTime &dayEnd,
                        QPrivateSignal);

private:
    void sendList();
    void answerListed(const ListResult &result);
    void workerBusy(bool busy);
    void reached(bool answering, const QString &reason);
    void setAnswering(bool answering, const QString &reason);

    const RecordsLocation m_location;
    QThread *m_thread = nullptr;
    RecordsWorker *m_worker = nullptr; // lives on m_thread; deleted once it has ended
    bool m_listOut = false;
    std::optional<RecordsQuery> m_listWaiting;
    QTimer m_slow;
    bool m_answering = true;
    QString m_reason;
};
