#include "cli/cliarguments.h"

#include "checkout/decimaltext.h"
#include "commandline/checkoutcommandline.h"
#include "device/readerprotocol.h"
#include "device/timesetting.h"
#include "emulator/linefactory.h"

#include <QCommandLineParser>

#include <algorithm>

namespace {

const QString PortOption = QStringLiteral("port");
const QString JsonOption = QStringLiteral("json");
const QString TraceOption = QStringLiteral("trace");
const QString HelpOption = QStringLiteral("help");
const QString VersionOption = QStringLiteral("version");
const QString RecordsOption = QStringLiteral("records");
const QString NoRecordsOption = QStringLiteral("no-records");

const QString PromptOption = QStringLiteral("prompt");
const QString NoPromptOption = QStringLiteral("no-prompt");
const QString JunitOption = QStringLiteral("junit");

// The options only the checkout takes: those it shares with the station window, and its own.
QStringList checkoutOnlyOptions()
{
    return CheckoutCommandLine::optionNames() +
           QStringList{PromptOption, NoPromptOption, JunitOption};
}

void addOptions(QCommandLineParser &parser)
{
    parser.addOption({{QStringLiteral("h"), HelpOption}, QStringLiteral("Show this help.")});
    parser.addOption({VersionOption, QStringLiteral("Show the program's version.")});
    parser.addOption({PortOption,
                      QStringLiteral("The reader's port: a serial port by short name (ttyUSB0) or "
                                     "path (/dev/serial/by-id/...), a port on a network serial "
                                     "server (rfc2217://HOST:PORT, socket://HOST:PORT), or an "
                                     "emulated reader, emu-vorn8 or emu-vorn4. "
                                     "Default: $VORN_PORT."),
                      QStringLiteral("NAME")});
    parser.addOption({JsonOption, QStringLiteral("Print the result as one JSON object.")});
    parser.addOption({TraceOption, QStringLiteral("Write every byte written and read, every drain, "
                                                  "DTR change and wait to standard error.")});
    CheckoutCommandLine::addOptions(parser);
    parser.addOption(
        {PromptOption, QStringLiteral("checkout: ask the operator (the default when standard input "
                                      "is a terminal).")});
    parser.addOption(
        {NoPromptOption, QStringLiteral("checkout: never ask; the display is skipped.")});
    parser.addOption({JunitOption, QStringLiteral("checkout: also write the result as JUnit XML."),
                      QStringLiteral("FILE")});
    parser.addOption({RecordsOption,
                      QStringLiteral("Where checkout records are kept: sqlite:PATH or "
                                     "postgresql://[USER@]HOST[:PORT]/DBNAME. Default: "
                                     "$VORN_RECORDS, else a file in ~/.local/share/vorn-tool."),
                      QStringLiteral("URL")});
    parser.addOption({NoRecordsOption, QStringLiteral("Keep no record of a checkout.")});
}

QString takeSlotNumber(const QString &text, CliArguments &arguments)
{
    const std::optional<uint> slot = DecimalText::inRange(text, 1, ReaderProtocol::SlotCount);
    if (!slot)
        return QStringLiteral("the slot must be a number from 1 to 8, not '%1'").arg(text);
    arguments.slotNumber = quint8(*slot);
    return {};
}

QString takeClocks(const QStringList &texts, CliArguments &arguments)
{
    QString error;
    const std::optional<ClockSelection> clocks =
        CheckoutCommandLine::clocksFromTexts(texts, &error);
    if (clocks)
        arguments.clocks = *clocks;
    return error;
}

QString takeSeconds(const QString &text, CliArguments &arguments)
{
    QString error;
    const std::optional<quint16> counts = CheckoutCommandLine::countsFromSeconds(text, &error);
    if (counts)
        arguments.timeCounts = *counts;
    return error;
}

QString takeEchoCharacter(const QString &text, CliArguments &arguments)
{
    // The reader echoes one byte; the character travels as Latin-1.
    if (text.size() != 1 || text.at(0).unicode() > 0xFF)
        return QStringLiteral("echo sends one character of Latin-1, not '%1'").arg(text);
    arguments.character = quint8(text.at(0).unicode());
    return {};
}

QString takeCharacterCode(const QString &text, CliArguments &arguments)
{
    const std::optional<uint> code = DecimalText::inRange(text, 0, 255);
    if (!code)
        return QStringLiteral("the character code must be a number from 0 to 255, not '%1'")
            .arg(text);
    arguments.character = quint8(*code);
    return {};
}

QString takeLineState(const QString &text, CliArguments &arguments)
{
    if (text != QLatin1String("on") && text != QLatin1String("off"))
        return QStringLiteral("the line state must be on or off, not '%1'").arg(text);
    arguments.lineAsserted = text == QLatin1String("on");
    return {};
}

// Converts the command's arguments into arguments; returns what is wrong, or nothing.
QString takeCommandArguments(const QStringList &values, CliArguments &arguments)
{
    switch (arguments.command) {
    case CliCommand::SelectSlot:
    case CliCommand::TarvikSelectSlot:
        return takeSlotNumber(values.at(0), arguments);
    case CliCommand::SetClocks:
    case CliCommand::StoreClocks:
        return takeClocks(values, arguments);
    case CliCommand::SetTime:
        return takeSeconds(values.at(0), arguments);
    case CliCommand::Echo:
        return takeEchoCharacter(values.at(0), arguments);
    case CliCommand::Char:
        return takeCharacterCode(values.at(0), arguments);
    case CliCommand::Text:
        arguments.text = values.at(0);
        return {};
    case CliCommand::Dtr:
    case CliCommand::Rts:
        return takeLineState(values.at(0), arguments);
    default:
        return {};
    }
}

QString argumentCountError(const CliCommandInfo &info, qsizetype given)
{
    const QString expected = info.argumentCount == 0 ? QStringLiteral("no arguments")
                             : info.argumentCount == 1
                                 ? QStringLiteral("one argument")
                                 : QStringLiteral("%1 arguments").arg(info.argumentCount);
    return QStringLiteral("'%1' takes %2, not %3: %4")
        .arg(QLatin1String(info.name), expected)
        .arg(given)
        .arg(CliCommandTable::synopsis(info));
}

QString takeCheckoutOptions(const QCommandLineParser &parser, CliArguments &arguments,
                            bool &planRefused)
{
    QString error;
    const std::optional<CheckoutCommandLine::Parsed> shared =
        CheckoutCommandLine::take(parser, &error, &planRefused);
    if (!shared)
        return error;
    arguments.checkout = shared->options;
    arguments.station = shared->station;
    arguments.operatorName = shared->operatorName.value_or(CheckoutCommandLine::loginName());
    arguments.lot = shared->lot.value_or(QString());
    if (arguments.checkout.requireLot && arguments.lot.isEmpty())
        return shared->fromPlan ? QStringLiteral("plan %1 requires a lot: name it with --lot TEXT")
                                      .arg(arguments.checkout.plan.name)
                                : QStringLiteral("--require-lot: name the lot with --lot TEXT");
    arguments.publish = shared->publish;
    arguments.cfxHandle = shared->cfxHandle;
    if (parser.isSet(PromptOption) && parser.isSet(NoPromptOption))
        return QStringLiteral("--prompt and --no-prompt exclude each other");
    if (shared->fromPlan && (parser.isSet(PromptOption) || parser.isSet(NoPromptOption)))
        return QStringLiteral("--%1 cannot be given with --plan: the plan says whether the "
                              "operator is asked")
            .arg(parser.isSet(PromptOption) ? PromptOption : NoPromptOption);
    if (parser.isSet(PromptOption) || parser.isSet(NoPromptOption))
        arguments.prompt = parser.isSet(PromptOption);
    else
        arguments.prompt = shared->planPrompt;
    arguments.junitPath = parser.value(JunitOption);
    if (parser.isSet(JunitOption) && arguments.junitPath.isEmpty())
        return QStringLiteral("--junit needs a file name");
    return {};
}

// The ports from --port, or else from VORN_PORT (a comma-separated list); only the checkout
// takes more than one, and never the same port twice.
QString takePorts(const QCommandLineParser &parser, const QString &environmentPort,
                  CliArguments &arguments)
{
    QStringList ports = parser.values(PortOption);
    if (ports.isEmpty())
        ports = environmentPort.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString &port : ports)
        port = port.trimmed();
    ports.removeAll(QString());
    if (ports.isEmpty())
        return QStringLiteral("no port: give --port NAME or set VORN_PORT");
    if (ports.size() > 1 && arguments.command != CliCommand::Checkout)
        return QStringLiteral("'%1' takes one port; only checkout takes several")
            .arg(QLatin1String(CliCommandTable::info(arguments.command).name));
    QStringList devices;
    for (const QString &port : ports) {
        const QString device = LineFactory::devicePath(port);
        if (devices.contains(device))
            return QStringLiteral("the port %1 is given twice").arg(port);
        devices.append(device);
    }
    arguments.portNames = ports;
    arguments.portName = ports.constFirst();
    return {};
}

QString commandsHelp()
{
    qsizetype width = 0;
    for (const CliCommandInfo &info : CliCommandTable::all())
        width = std::max(width, CliCommandTable::synopsis(info).size());
    QString text = QStringLiteral("Commands:\n");
    for (const CliCommandInfo &info : CliCommandTable::all())
        text += QStringLiteral("  %1  %2\n")
                    .arg(CliCommandTable::synopsis(info).leftJustified(width),
                         QLatin1String(info.summary));
    return text;
}

} // namespace

CliParseResult CliArguments::parse(const QStringList &arguments, const QString &environmentPort)
{
    QCommandLineParser parser;
    addOptions(parser);
    if (!parser.parse(arguments))
        return CliParseResult::usageError(parser.errorText());
    if (parser.isSet(HelpOption))
        return {CliParseResult::Outcome::ShowHelp, {}, {}};
    if (parser.isSet(VersionOption))
        return {CliParseResult::Outcome::ShowVersion, {}, {}};

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return CliParseResult::usageError(QStringLiteral("no command given"));
    const QString name = positional.takeFirst();
    const CliCommandInfo *info = CliCommandTable::find(name);
    if (!info)
        return CliParseResult::usageError(QStringLiteral("unknown command '%1'").arg(name));
    if (positional.size() != info->argumentCount)
        return CliParseResult::usageError(argumentCountError(*info, positional.size()));

    CliArguments parsed;
    parsed.command = info->command;
    parsed.json = parser.isSet(JsonOption);
    parsed.trace = parser.isSet(TraceOption);
    parsed.recordsUrl = parser.value(RecordsOption);
    parsed.noRecords = parser.isSet(NoRecordsOption);
    const QString argumentError = takeCommandArguments(positional, parsed);
    if (!argumentError.isEmpty())
        return CliParseResult::usageError(argumentError);

    if (info->command == CliCommand::Checkout) {
        bool planRefused = false;
        const QString checkoutError = takeCheckoutOptions(parser, parsed, planRefused);
        // A refused plan is its own one-line message: the command line itself was right.
        if (!checkoutError.isEmpty())
            return planRefused
                       ? CliParseResult{CliParseResult::Outcome::PlanRefused, {}, checkoutError}
                       : CliParseResult::usageError(checkoutError);
    } else {
        for (const QString &option : checkoutOnlyOptions())
            if (parser.isSet(option))
                return CliParseResult::usageError(
                    QStringLiteral("--%1 is an option of checkout only").arg(option));
    }

    if (info->needsPort()) {
        const QString portError = takePorts(parser, environmentPort, parsed);
        if (!portError.isEmpty())
            return CliParseResult::usageError(portError);
    }
    return {CliParseResult::Outcome::Run, parsed, {}};
}

QString CliArguments::helpText()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs one command on a Vorn smart-card reader, as the window does."));
    addOptions(parser);
    // The parser's own usage line names the options generically; ours names them.
    QString options = parser.helpText();
    options.remove(0, options.indexOf(QLatin1Char('\n')) + 1);
    return QLatin1String(UsageLine) + QLatin1Char('\n') + QLatin1String(CheckoutUsageLine) +
           QLatin1Char('\n') + options + QLatin1Char('\n') + commandsHelp() +
           QStringLiteral(
               "\nExit codes:\n"
               "  0  done\n"
               "  1  the reader failed: \"Error at reading Device!\" or\n"
               "     \"Timeout at reading Device!\" on standard error\n"
               "  2  usage error: unknown command, wrong arguments, no port\n"
               "  3  the port could not be opened (no such port, permission denied, in use)\n"
               "  checkout: 0 every reader passed, 1 a reader failed or had an error,\n"
               "  2 usage error (also a records URL that cannot be understood), 3 a port\n"
               "  did not open (the others are still checked) or the JUnit report could not\n"
               "  be written, 4 a reader's record was kept neither in the records database\n"
               "  nor in the outbox, or a message for the broker not even in its spool (over\n"
               "  0 and 1), 130, 143, 129 stopped by Ctrl+C, SIGTERM, SIGHUP (over all\n"
               "  others)\n"
               "\nEnvironment:\n"
               "  VORN_PORT  the port to use when --port is not given; for checkout a\n"
               "             comma-separated list of ports\n"
               "  VORN_PUBLISH  checkout: the broker URL when --publish is not given\n"
               "  VORN_AMQP_PASSWORD, VORN_AMQP_PASSWORD_FILE  the broker's password, or a\n"
               "             file holding it (never in the URL)\n"
               "\nNotes:\n"
               "  A frequency may have a decimal comma: 3,57 is 3.57.\n"
               "  lines shows a signal as set (yes) while the reader holds its line inactive,\n"
               "  as the window's check boxes do.\n"
               "  Arguments are checked before the port is opened: a wrong one sends nothing.\n"
               "  Put -- before a text that starts with '-'.\n"
               "  checkout checks every reader at once and runs its steps in this order:\n"
               "  identify, status, select-slot, clocks, tarvik, time, echo, lines, display,\n"
               "  then cards, program-clocks and program-time when asked for. Afterwards each\n"
               "  reader gets back its selected slot and its clocks, also after Ctrl+C.\n");
}
