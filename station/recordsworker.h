#pragma once

#include "checkout/checkoutrecord.h"
#include "store/recordkeeper.h"
#include "store/recordslocation.h"
#include "store/recordsservice.h"
#include "store/recordsstore.h"
#include "yield/yieldreport.h"

#include <QList>
#include <QString>

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

// The station's records work, each request run on the records service's thread with that
// thread's connection (see RecordsService): keeping each finished checkout (or putting it in the
// outbox), the recent list, reading a whole record, writing a certificate, the day's figures.
// Each fills its result and returns false when the store failed under it, so that the next
// request makes a new connection.
class RecordsWorker
{
public:
    // An open that took this long to fail met a server that did not answer (the client waits
    // 5 s for one that accepts the connection and stays silent); such a server is tried again
    // only after RetryAfterMs, and what comes meanwhile is answered at once from that failure:
    // records to the outbox, reads refused.
    static constexpr int UnansweredAfterMs = 1000;
    static constexpr int RetryAfterMs = 15000;
    // The station's way with its database: one thread, records kept in the order the checkouts
    // end, a silent server left alone for a while, every record handed over kept at the end.
    static RecordsService::Policy policy();

    RecordsWorker(RecordsLocation location, RecordsLocation outbox);

    bool keep(RecordsService::Session &session, const ReaderRecord &record,
              KeepResult &result) const;
    bool list(RecordsService::Session &session, const RecordsQuery &query,
              ListResult &result) const;
    bool read(RecordsService::Session &session, const QString &id, ReadResult &result) const;
    bool writeCertificate(RecordsService::Session &session, const QString &id, const QString &path,
                          CertificateResult &result) const;
    // The station's readers, first-pass yield and most failed step in [dayStart, dayEnd).
    bool readYield(RecordsService::Session &session, const QString &station,
                   const QDateTime &dayStart, const QDateTime &dayEnd, YieldResult &result) const;

private:
    const RecordsLocation m_location;
    const RecordsLocation m_outbox;
};
