#pragma once

#include "checkout/checkoutrecord.h"
#include "checkout/repairrecord.h"
#include "records/recordsanswer.h"
#include "records/recordsfilter.h"
#include "store/readerlife.h"
#include "store/recordsstore.h"
#include "yield/lineactivity.h"
#include "yield/yieldreport.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A stored checkout with what belongs to it wherever it is shown: the repair it is linked to
// and its reader's life. A front end gets a record only this way, so none can show one without
// its repair.
struct RecordFile
{
    ReaderRecord record;
    // For a checkout that did not pass, the repair that answered it; otherwise (a pass, or a
    // failure no repair answered yet) the repair between it and the reader's attempt before.
    // Nothing when there is none.
    std::optional<RepairRecord> repair;
    // Every checkout and repair of the reader, oldest first; empty for a reader that never
    // told its serial number.
    QList<ReaderEvent> history;
    // The hash its station's chain keeps for it, printed on its certificate; empty for a record
    // kept before chaining.
    QString keptHash;

    // The record's JSON with "repair": the repair's JSON, or null.
    QJsonObject toJson() const;
    // "Repair before this checkout: repaired 2026-12-07 14:30 by anna: ..." ("Repair answering
    // this checkout: ..." for one that did not pass) and a line break; empty without a repair.
    QString repairText() const;
};

// A test certificate ready to be sent or kept.
struct CertificateDocument
{
    QByteArray pdf;
    QString fileName; // certificate-001234-2026-12-07.pdf
};

// The records of a line as every front end reads them: vornctl, the station and the dashboard
// call these use cases and only format the answers, so a record, a list, a report or a history
// is the same wherever it is shown, and a filter narrows every figure alike. Runs on the thread
// that owns the open store.
//
//     LineRecords records(store);
//     const RecordsAnswer<RecordFile> found = records.find(id);
//     if (!found) ... found.problem().kind, found.problem().text
class LineRecords
{
public:
    // The days a report covers when its filter gives neither since nor until.
    static constexpr int ReportDays = 7;
    // A shorter beginning of an id names no record.
    static constexpr int ShortestIdPrefix = 6;
    // The ids named when a beginning names several records.
    static constexpr int ListedMatches = 10;

    // What a list asks beside the filter.
    struct ListChoice
    {
        std::optional<ReaderOutcome> outcome;
        std::optional<int> limit;
    };

    // What a report asks beside the filter.
    struct ReportChoice
    {
        ReportGrouping by = ReportGrouping::None;
        bool paretoOfCauses = false;
    };

    // What a technician enters for a repair.
    struct RepairEntry
    {
        QString symptom;
        QString action;
        QString cause;
        QStringList parts;
        QString technician;
        QString station;
        QString checkoutId; // empty: the reader's latest failed checkout
    };

    // A repair kept, and the checkout it answers.
    struct RepairKept
    {
        RepairRecord repair;
        ReaderRecord checkout;
    };

    explicit LineRecords(RecordsStore &store);

    // The report's window and narrowing: the filter's since and until, the last ReportDays
    // whole UTC days up to now where it leaves them open. A filter by serial number is refused:
    // a report counts readers, a reader's checkouts are its history.
    static RecordsAnswer<ReportQuery> reportQuery(const RecordsFilter &filter,
                                                  const ReportChoice &choice, const QDateTime &now);
    // certificate-001234-2026-12-07.pdf (certificate-unidentified-... for a reader that never
    // identified): a name that tells certificates apart.
    static QString certificateFileName(const ReaderRecord &record);

    // A record by its id or the beginning of one (ShortestIdPrefix characters at least) that
    // names one record alone, with its repair and its reader's history.
    RecordsAnswer<RecordFile> find(const QString &id);
    // Newest first.
    RecordsAnswer<QList<RecordSummary>> list(const RecordsFilter &filter, const ListChoice &choice);
    RecordsAnswer<QString> listCsv(const RecordsFilter &filter, const ListChoice &choice);
    // The reader's checkouts the filter lets through and the repairs that answer them (with no
    // filter, every repair), oldest first. NotFound when there is none.
    RecordsAnswer<QList<ReaderEvent>> history(int serialNumber, const RecordsFilter &filter = {});
    RecordsAnswer<ReportFigures> report(const ReportQuery &query);
    RecordsAnswer<QString> reportCsv(const ReportQuery &query);
    // Writes the yield report's PDF; the absolute path written.
    RecordsAnswer<QString> writeReportPdf(const ReportQuery &query, const QString &path);
    // The certificate of the record found by id (as find()).
    RecordsAnswer<CertificateDocument> certificate(const QString &id);
    // Writes it to path, or with an empty path to certificateFileName() in the current folder;
    // the path written.
    RecordsAnswer<QString> writeCertificate(const QString &id, const QString &path);
    // Keeps the repair linked to its checkout.
    RecordsAnswer<RepairKept> repair(int serialNumber, const RepairEntry &entry);
    // The stations that kept a checkout the filter lets through from since on, with their
    // figures of the day [dayStart, dayEnd); the filter's own window and serial number do not
    // apply here.
    RecordsAnswer<QList<StationActivity>> stations(const RecordsFilter &filter,
                                                   const QDateTime &since,
                                                   const QDateTime &dayStart,
                                                   const QDateTime &dayEnd);
    // A station's readers, first-pass yield and most failed step in [dayStart, dayEnd).
    RecordsAnswer<StationYield> stationDay(const QString &station, const QDateTime &dayStart,
                                           const QDateTime &dayEnd);

private:
    RecordsProblem failed() const;
    RecordsAnswer<ReaderRecord> record(const QString &id);
    std::optional<RepairRecord> repairOf(const ReaderRecord &record,
                                         const QList<ReaderEvent> &history);

    RecordsStore &m_store;
};
