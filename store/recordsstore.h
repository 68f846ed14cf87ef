#pragma once

#include "checkout/checkoutrecord.h"
#include "store/recordsdatabase.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>

// Which checkouts a list shows; an empty field does not filter.
struct RecordsQuery
{
    std::optional<int> serialNumber;
    std::optional<ReaderOutcome> outcome;
    QDateTime since; // included
    QDateTime until; // not included
    QString station;
    QString model; // "Vorn4", "Vorn8"
    QString lot;
    QString operatorName;
    QString plan; // the plan's name
    std::optional<int> limit;
};

// One line of `records list`: the indexed facts of a stored checkout.
struct RecordSummary
{
    QString id;
    QDateTime started; // UTC
    QString station;
    QString port;
    QString model;                   // empty when the reader never identified
    std::optional<int> serialNumber; // unknown when the reader never identified
    QString outcome;
    QStringList failedSteps;
    QString operatorName;
    QString plan; // the plan's name; empty for records kept before plans
    QString lot;
    QString failedMessage; // why the first step that failed or had an error did not pass

    // {"id", "started", "station", "port", "model", "serial", "outcome", "failed_steps",
    //  "failed_message", "operator", "lot", "plan"}; an unknown model or serial number is null.
    QJsonObject toJson() const;
    // {"records": [...]}, as listed.
    static QJsonObject listJson(const QList<RecordSummary> &summaries);

    // The columns of a list as CSV: id, started, station, port, model, serial, operator, lot,
    // plan, outcome, failed_steps (separated by spaces), failed_message; the time as the caller
    // writes it.
    static const QStringList &columnNames();
    QStringList columns(const QString &time) const;
    // The list as CSV (RFC 4180, CRLF), times in UTC ISO 8601 with milliseconds.
    static QString listCsv(const QList<RecordSummary> &summaries);
};

// The checkouts kept in one records database. Each stored checkout is one row: its facts in
// indexed columns for finding it, and the whole record as JSON for showing it; each of its
// measurements is a row of the measurements table; and it is counted in the yield summaries
// (records/yieldsummaries.h) in the same transaction. Storing is idempotent on the record's id,
// so a record sent twice is kept once.
class RecordsStore
{
public:
    enum class Stored
    {
        Added,
        AlreadyThere,
        Failed,
    };

    using OpenMode = RecordsDatabase::OpenMode;

    explicit RecordsStore(const RecordsLocation &location);

    // Opens the database and brings its schema up to date as far as mode lets it; false with
    // errorText(). Only a checkout, which keeps records, should make a records file.
    bool open(OpenMode mode = OpenMode::CreateIfMissing);
    // After a failed open: there were no records at the location at all.
    bool isMissing() const { return m_database.isMissing(); }
    QString errorText() const { return m_database.errorText(); }
    const RecordsLocation &location() const { return m_database.location(); }

    // Writes the record in one transaction: whole or not at all.
    Stored store(const ReaderRecord &record);
    // The values of the record's row in the columns its chain hash covers
    // (RecordChain::chainedColumns()), as they are written.
    static QVariantList chainedValues(const ReaderRecord &record);
    // Fills record with the stored record of this id, or nothing when there is none; false on
    // failure.
    bool find(const QString &id, std::optional<ReaderRecord> &record);
    // The ids that begin with prefix, at most limit of them, in id order; nothing on failure.
    std::optional<QStringList> idsStartingWith(const QString &prefix, int limit);
    // Newest first. Nothing on failure.
    std::optional<QList<RecordSummary>> list(const RecordsQuery &filter);

    // The connection, for readers of the records beside the store's own (the yield report).
    RecordsDatabase &database() { return m_database; }

private:
    bool storeSteps(const ReaderRecord &record);
    bool storeMeasurements(const ReaderRecord &record);

    RecordsDatabase m_database;
};
