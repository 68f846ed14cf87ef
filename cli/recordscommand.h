#pragma once

#include "checkout/checkoutrecord.h"
#include "publish/storedcheckoutpublisher.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QCommandLineParser;
class QCoreApplication;
class QIODevice;
struct RecordsLocation;
struct RecordsQuery;
struct ReportQuery;
class RecordsStore;
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
    // The application vornctl runs in: a certificate needs fonts, so a QGuiApplication on the
    // offscreen platform (no display needed); everything else a QCoreApplication.
    static std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv);
    // The records commands for vornctl --help.
    static QString helpText();

    // arguments start with the program name; environmentRecords is VORN_RECORDS.
    int run(const QStringList &arguments, const QString &environmentRecords);

private:
    int list(const RecordsQuery &query, bool json, bool csv, RecordsStore &store);
    // Done with the record, or the exit code of a database that failed or a record not there
    // (the reason already written).
    int findRecord(const QString &id, RecordsStore &store, std::optional<ReaderRecord> &record);
    int show(const QString &id, bool json, RecordsStore &store);
    // The yield report as text, JSON or CSV on standard output, and as a PDF when pdf names a
    // file.
    int report(const ReportQuery &query, bool json, bool csv, const QString &pdf,
               RecordsStore &store);
    int certificate(const QString &id, const QString &path, RecordsStore &store);
    int verify(const QCommandLineParser &parser, const QStringList &ids, const RecordsQuery &query,
               RecordsStore &store);
    int verifyHash(const QString &id, const QString &hash, ChainVerifier &verifier,
                   RecordsStore &store);
    int repair(const QCommandLineParser &parser, int serialNumber, RecordsStore &store);
    int sync(const RecordsLocation &location);
    int setUpRoles(const RecordsLocation &location);
    int publish(const QCommandLineParser &parser, const RecordsQuery &query,
                const RecordsLocation &location);
    // Says what was published (chosen: what was chosen, or empty) and gives the exit code.
    int told(const StoredCheckoutPublisher::Published &published, const PublishTarget &target,
             const QString &chosen);
    // Discards what waits in the publishing spool for destination.
    int dropSpooled(const QString &destination);
    int usageError(const QString &message);
    int databaseError(const QString &message);
    void print(const QString &text);

    QIODevice &m_output;
    QIODevice &m_error;
};
