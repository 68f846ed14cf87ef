#pragma once

#include "checkout/checkoutrecord.h"
#include "publish/storedcheckoutpublisher.h"
#include "records/linerecords.h"
#include "yield/yieldreporttext.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QCommandLineParser;
class QCoreApplication;
class QIODevice;
struct RecordsLocation;
struct RecordsQuery;
class ChainVerifier;

// `vornctl records ...`: reads the kept checkout records (list, show), prints a test
// certificate, reports the yield (report), sends the outbox, and publishes records to the
// line's message broker. Options may stand before or after the command words, as for the other
// commands; --records URL (or VORN_RECORDS) chooses the database.
class RecordsCommand
{
public:
    enum ExitCode
    {
        Done = 0,
        NoSuchRecord = 1,
        Tampered = 1, // records verify: a record changed, removed or put in
        UsageError = 2,
        DatabaseFailed = 3,
        PublishFailed = 4, // records publish: the broker did not take every message
    };

    RecordsCommand(QIODevice &standardOutput, QIODevice &standardError);

    // True when the command of a vornctl command line (program name first) is `records`.
    static bool isRecordsCommandLine(const QStringList &arguments);
    // The application vornctl runs in: one that draws a document when the command writes a
    // PDF (see DocumentsApplication), a QCoreApplication otherwise.
    static std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv);
    // The records commands for vornctl --help.
    static QString helpText();

    // arguments start with the program name; environmentRecords is VORN_RECORDS.
    int run(const QStringList &arguments, const QString &environmentRecords);

private:
    int list(const RecordsFilter &filter, const LineRecords::ListChoice &choice, bool json,
             bool csv, LineRecords &records);
    int show(const QString &id, bool json, LineRecords &records);
    // The yield report as text, JSON or one table as CSV (csv) on standard output, and as a
    // PDF when pdf names a file.
    int report(const ReportQuery &query, bool json, std::optional<YieldReportText::CsvTable> csv,
               const QString &pdf, LineRecords &records);
    int certificate(const QString &id, const QString &path, LineRecords &records);
    int history(int serialNumber, bool json, LineRecords &records);
    int repair(const QCommandLineParser &parser, int serialNumber, LineRecords &records);
    int verify(const QCommandLineParser &parser, const QStringList &ids, const RecordsQuery &query,
               RecordsStore &store);
    int verifyHash(const QString &id, const QString &hash, ChainVerifier &verifier,
                   RecordsStore &store);
    int sync(const RecordsLocation &location);
    int setUpRoles(const RecordsLocation &location);
    int publish(const QCommandLineParser &parser, const RecordsQuery &query,
                const RecordsLocation &location);
    // Says what was published (chosen: what was chosen, or empty) and gives the exit code.
    int told(const StoredCheckoutPublisher::Published &published, const PublishTarget &target,
             const QString &chosen);
    // Discards what waits in the publishing spool for destination.
    int dropSpooled(const QString &destination);
    // Writes what the records answered instead, and gives its exit code.
    int problem(const RecordsProblem &problem);
    int usageError(const QString &message);
    int databaseError(const QString &message);
    void print(const QString &text);

    QIODevice &m_output;
    QIODevice &m_error;
};
