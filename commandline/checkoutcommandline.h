#pragma once

#include "checkout/checkoutoptions.h"
#include "device/clockselection.h"
#include "publish/publishtarget.h"

#include <QString>
#include <QStringList>

#include <optional>

class QCommandLineParser;

// The options of a checkout that every front end takes in the same words, checked in one
// place: --plan, --model, --min-firmware, --echo, --cards, --program-clocks, --program-time,
// --station, --operator, --lot, --publish, --cfx-handle and --retest-limit. With --plan NAME|FILE
// the plan alone says what is checked: the options that would say it too are refused. vornctl
// checkout and vorn-station both add them to their parser and read them back here, so a command
// line means the same to both.
class CheckoutCommandLine
{
public:
    // What was read: the options for every reader, and the station named in the records
    // (empty when not given: the front end names the host).
    struct Parsed
    {
        CheckoutOptions options;
        QString station;
        // As given; nothing when not given (vornctl then names the login, the station the
        // operator entered last).
        std::optional<QString> operatorName;
        std::optional<QString> lot;
        // --publish URL, else VORN_PUBLISH, with the password from VORN_AMQP_PASSWORD or
        // VORN_AMQP_PASSWORD_FILE; nothing when neither names a broker.
        std::optional<PublishTarget> publish;
        QString cfxHandle; // --cfx-handle; empty: Vorn.Station.<station>
        // With --plan: whether the plan asks the operator (nothing: the front end decides).
        bool fromPlan = false;
        std::optional<bool> planPrompt;
    };

    static void addOptions(QCommandLineParser &parser);
    // The names of the options addOptions adds, without dashes.
    static QStringList optionNames();

    // Reads the options back; the first wrong one, in words, when one is wrong. planRefused
    // tells a plan that was found and refused (its own one-line FILE:LINE:COLUMN message)
    // from a wrong command line.
    static std::optional<Parsed> take(const QCommandLineParser &parser, QString *error,
                                      bool *planRefused = nullptr);

    // Eight clocks, slot 1 first: "3.57", "3,57", "6.00", ...
    static std::optional<ClockSelection> clocksFromTexts(const QStringList &texts, QString *error);
    // Whole seconds as the time setting's counts.
    static std::optional<quint16> countsFromSeconds(const QString &text, QString *error);
    // Who is logged in: the operator of a checkout unless one is named.
    static QString loginName();

private:
    static bool takePublishing(const QCommandLineParser &parser, Parsed &parsed, QString *error);
    static bool takeOptions(const QCommandLineParser &parser, CheckoutOptions &options,
                            QString *error);
    static bool takePlan(const QCommandLineParser &parser, Parsed &parsed, QString *error,
                         bool *planRefused);
};
