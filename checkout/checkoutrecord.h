#pragma once

#include "checkout/measurement.h"
#include "checkout/planidentity.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// How one step of a checkout ended. Fail: the reader answered and the answer is wrong or out of
// its limits. Error: the reader did not answer as the protocol requires (no reply, a reply of
// the wrong length, the port lost). Skip: the step did not run.
enum class StepOutcome
{
    Pass,
    Fail,
    Skip,
    Error,
};

// How the checkout of one reader ended as a whole; Aborted when the operator interrupted it;
// Refused when the reader identified but was not to be checked again before a repair (the retest
// limit). Only pass, fail and error are attempts at the reader's yield.
enum class ReaderOutcome
{
    Pass,
    Fail,
    Error,
    Aborted,
    Refused,
};

// "pass", "fail", "skip", "error": the words of the text, JSON and JUnit output and of the
// records store.
QString outcomeName(StepOutcome outcome);
// "pass", "fail", "error", "aborted", "refused"
QString outcomeName(ReaderOutcome outcome);
// Pass, fail or error: a checkout that counts toward the reader's yields and its retest limit.
bool isAttempt(ReaderOutcome outcome);
std::optional<StepOutcome> stepOutcomeFromName(const QString &name);
std::optional<ReaderOutcome> readerOutcomeFromName(const QString &name);

// One named step: what it measured, each value with its limit, and how it ended. measured and
// limits are the same facts as text for people, made from the measurements (records kept
// before measurements existed have the text alone).
struct StepRecord
{
    QString name;
    StepOutcome outcome = StepOutcome::Skip;
    qint64 durationMs = 0;
    QList<Measurement> measurements;
    QString measured;
    QString limits;
    QString message;

    // Sets the measurements and the texts made from them.
    void setMeasurements(const QList<Measurement> &values);
    const Measurement *measurement(const QString &measurementName) const;
    // The names of the measurements outside their limits.
    QStringList failedMeasurements() const;

    QJsonObject toJson() const;
    static StepRecord fromJson(const QJsonObject &object);

    friend bool operator==(const StepRecord &, const StepRecord &) = default;
};

// The checkout of one reader on one port: the record a station keeps and prints. The id is made
// at the station when the checkout starts, so that storing the same record twice never makes
// two records.
struct ReaderRecord
{
    QString id;
    QString tool;        // "vornctl", "vorn-station"
    QString toolVersion; // the project's version
    QString station;
    QString operatorName; // who ran the checkout
    QString lot;          // the work order or lot the reader belongs to
    QJsonObject options;  // what the checkout asked of the reader
    PlanIdentity plan;    // the plan the options came from; empty in records kept before plans
    QString port;
    std::optional<int> modelType; // 4 or 8 once identified
    std::optional<int> firmware;
    std::optional<int> serialNumber;
    ReaderOutcome outcome = ReaderOutcome::Error;
    QDateTime started; // UTC
    qint64 durationMs = 0;
    bool restored = false; // the selected slot and the clocks were put back as found
    // What an earlier checkout that never ended (killed, the power cut) had left changed in the
    // reader and this one put back first; empty when nothing.
    QString restoredPrevious;
    QList<StepRecord> steps;
    // With a retest limit: whether the reader's earlier checkouts could be counted (false when
    // the records could not be reached); nothing without a limit.
    std::optional<bool> retestLimitChecked;
    QString refusal; // why a refused reader was not checked

    // A new unique id for a record made now.
    static QString newId();

    // "Vorn8", "Vorn4", "unknown" (or empty when the reader never identified)
    QString modelName() const;
    // "001234", or empty when the serial number is not known
    QString serialText() const;
    // The names of the steps that failed or had an error, in step order.
    QStringList failedSteps() const;
    const StepRecord *step(const QString &name) const;

    // {"id", "tool", "tool_version", "station", "operator", "lot", "options", "plan", "port",
    //  "model",
    //  "model_type", "firmware", "serial", "outcome", "started", "duration_ms", "restored",
    //  "restored_previous", "steps": [...]}; unknown facts are null; with a retest limit
    //  "retest_limit_checked", and for a refused reader "refusal".
    QJsonObject toJson() const;
    static std::optional<ReaderRecord> fromJson(const QJsonObject &object);

    friend bool operator==(const ReaderRecord &, const ReaderRecord &) = default;
};

// One call of the checkout: every reader it checked, in the order of their ports.
struct CheckoutRun
{
    QString tool;
    QString toolVersion;
    QString station;
    QDateTime started; // UTC
    QList<ReaderRecord> readers;

    // Pass only when every reader passed; Aborted when any was interrupted, else Error before
    // Fail before Refused.
    ReaderOutcome outcome() const;

    // {"tool", "tool_version", "station", "started", "outcome", "readers": [...]}
    QJsonObject toJson() const;
};

// UTC ISO 8601 with milliseconds and a Z: "2026-12-07T11:14:10.123Z".
QString isoUtc(const QDateTime &time);
