#pragma once

#include "checkout/checkoutrecord.h"
#include "records/recordkeeper.h"
#include "records/recordslocation.h"
#include "records/recordsstore.h"
#include "records/yieldreport.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

// What became of the record of one finished checkout.
struct KeepResult
{
    QString recordId;
    QString port;
    QString serial; // "001234", empty when the reader never identified
    RecordKeeper::Kept kept;
    QString warnings; // the keeper's lines for the operator; empty when all went well
};

struct ListResult
{
    std::optional<QList<RecordSummary>> summaries; // nothing when the list could not be read
    QString error;
};

struct ReadResult
{
    QString id;
    std::optional<ReaderRecord> record; // nothing when not found or not read
    QString history; // the reader's checkouts and repairs as text; empty when not known
    QString error;
};

// The station's figures of one day, or why they could not be read.
struct YieldResult
{
    std::optional<StationYield> yield;
    QString error;
};

struct CertificateResult
{
    QString path;
    bool written = false;
    QString error;
};

// The station's records work on a thread of its own: keeping each finished checkout (or
// putting it in the outbox), the recent list, reading a whole record, writing a certificate.
// It holds one connection for the whole station, made at the first request and made again
// after one failed, so a database that is slow or away holds up this thread and nothing else.
// Every call below runs on the records thread and answers with a signal.
class RecordsWorker : public QObject
{
    Q_OBJECT

public:
    // An open that took this long to fail met a server that did not answer (the client waits
    // 5 s for one that accepts the connection and stays silent); such a server is tried again
    // only after RetryAfterMs, and what comes meanwhile is answered at once from that failure:
    // records to the outbox, reads refused.
    static constexpr int UnansweredAfterMs = 1000;
    static constexpr int RetryAfterMs = 15000;

    RecordsWorker(RecordsLocation location, RecordsLocation outbox);
    ~RecordsWorker() override;
    RecordsWorker(const RecordsWorker &) = delete;
    RecordsWorker &operator=(const RecordsWorker &) = delete;

    void keep(const ReaderRecord &record);
    void list(const RecordsQuery &query);
    void read(const QString &id);
    void writeCertificate(const QString &id, const QString &path);
    // The station's readers, first-pass yield and most failed step in [dayStart, dayEnd).
    void readYield(const QString &station, const QDateTime &dayStart, const QDateTime &dayEnd);
    // The last call: closes the connection on the thread that opened it.
    void close();

    // From any thread: reads still queued are no longer wanted (the window is closing) and are
    // dropped; records are still kept.
    void dropReads() { m_reading = false; }

signals:
    // Around every request: the window tells a slow request from a quick one.
    void working(bool busy);
    // After every request that needed the database: false while its server does not answer.
    void reached(bool answering, const QString &reason);
    void kept(const KeepResult &result);
    void listed(const ListResult &result);
    void recordRead(const ReadResult &result);
    void certificateWritten(const CertificateResult &result);
    void yieldRead(const YieldResult &result);

private:
    class Request;

    // The open store, opening it when there is none; nothing when it cannot be opened now
    // (the reason in m_failure).
    RecordsStore *store();
    // Gives up a connection that failed under a statement: the next request makes a new one.
    void dropStore();
    void reportReach();

    const RecordsLocation m_location;
    const RecordsLocation m_outbox;
    std::unique_ptr<RecordsStore> m_store;
    QString m_failure;         // why the last open failed
    bool m_unanswered = false; // ... and whether it was for want of an answer
    QElapsedTimer m_failedAt;  // since when
    std::atomic<bool> m_reading{true};
};
