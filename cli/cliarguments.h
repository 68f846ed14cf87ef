#pragma once

#include "checkout/checkoutoptions.h"
#include "cli/clicommandtable.h"
#include "device/clockselection.h"
#include "publish/publishtarget.h"

#include <QString>
#include <QStringList>

#include <optional>

struct CliParseResult;

// One vornctl command line, parsed and checked: the command, its typed arguments and the
// options. Everything is checked here, before any port is opened, so that a mistyped command
// never sends a byte to the reader.
struct CliArguments
{
    static constexpr const char *UsageLine =
        "Usage: vornctl [--port NAME] [--json] [--trace] COMMAND [ARGS]";
    static constexpr const char *CheckoutUsageLine =
        "       vornctl [--port NAME]... checkout [--plan NAME|FILE | [--model 4|8]\n"
        "               [--min-firmware N] [--echo quick|all] [--prompt | --no-prompt]\n"
        "               [--cards] [--program-clocks F1,...,F8] [--program-time S]]\n"
        "               [--station NAME]\n"
        "               [--operator NAME] [--lot TEXT] [--json] [--junit FILE] [--trace]\n"
        "               [--publish URL] [--cfx-handle NAME] [--retest-limit N]\n"
        "       vornctl plan check FILE... | plan list | plan show NAME|FILE";

    CliCommand command = CliCommand::Ports;
    QString portName;      // empty only for commands that need no port; the first for checkout
    QStringList portNames; // checkout: every reader's port, in the order given

    // checkout only
    CheckoutOptions checkout;
    std::optional<bool> prompt; // --prompt or --no-prompt; otherwise the terminal decides
    QString station;            // empty: the host name
    QString operatorName;       // the login name unless given
    QString lot;
    std::optional<PublishTarget> publish; // --publish or VORN_PUBLISH, with its password
    QString cfxHandle;                    // empty: Vorn.Station.<station>
    QString junitPath;
    bool json = false;
    bool trace = false;
    QString recordsUrl;     // --records, empty when not given
    bool noRecords = false; // --no-records

    quint8 slotNumber = 1;     // select-slot, tarvik-select-slot: 1..8
    ClockSelection clocks;     // set-clocks, store-clocks
    quint16 timeCounts = 0;    // set-time, already in counts
    quint8 character = 0;      // echo (a Latin-1 character), char (its code)
    QString text;              // text
    bool lineAsserted = false; // dtr, rts

    // arguments start with the program name. environmentPort is VORN_PORT, used when --port
    // is not given; for checkout it may list several ports, separated by commas.
    static CliParseResult parse(const QStringList &arguments, const QString &environmentPort);

    // The full --help text: options, commands with their arguments, exit codes, environment.
    static QString helpText();
};

struct CliParseResult
{
    enum class Outcome
    {
        Run,
        ShowHelp,
        ShowVersion,
        UsageError,
        PlanRefused, // the plan named by --plan was refused; message says where and why
    };

    Outcome outcome = Outcome::UsageError;
    CliArguments arguments;
    QString message; // what went wrong, for a usage error

    static CliParseResult usageError(const QString &message)
    {
        return {Outcome::UsageError, {}, message};
    }
};
