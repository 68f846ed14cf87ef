#include "cli/cliarguments.h"

#include "device/readerprotocol.h"
#include "device/timesetting.h"

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

void addOptions(QCommandLineParser &parser)
{
    parser.addOption({{QStringLiteral("h"), HelpOption}, QStringLiteral("Show this help.")});
    parser.addOption({VersionOption, QStringLiteral("Show the program's version.")});
    parser.addOption({PortOption,
                      QStringLiteral("The reader's port: a serial port by short name (ttyUSB0) or "
                                     "path (/dev/serial/by-id/...), or an emulated reader, "
                                     "emu-vorn8 or emu-vorn4. Default: $VORN_PORT."),
                      QStringLiteral("NAME")});
    parser.addOption({JsonOption, QStringLiteral("Print the result as one JSON object.")});
    parser.addOption({TraceOption, QStringLiteral("Write every byte written and read, every drain, "
                                                  "DTR change and wait to standard error.")});
    parser.addOption({RecordsOption,
                      QStringLiteral("Where checkout records are kept: sqlite:PATH or "
                                     "postgresql://[USER@]HOST[:PORT]/DBNAME. Default: "
                                     "$VORN_RECORDS, else a file in ~/.local/share/vorn-tool."),
                      QStringLiteral("URL")});
    parser.addOption({NoRecordsOption, QStringLiteral("Keep no record of a checkout.")});
}

// Digits only: a sign, a fraction, spaces or a hexadecimal prefix are refused.
bool isPlainDecimal(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

std::optional<uint> decimalInRange(const QString &text, uint minimum, uint maximum)
{
    if (!isPlainDecimal(text))
        return std::nullopt;
    bool converted = false;
    const uint value = text.toUInt(&converted, 10);
    if (!converted || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

QString takeSlotNumber(const QString &text, CliArguments &arguments)
{
    const std::optional<uint> slot = decimalInRange(text, 1, ReaderProtocol::SlotCount);
    if (!slot)
        return QStringLiteral("the slot must be a number from 1 to 8, not '%1'").arg(text);
    arguments.slotNumber = quint8(*slot);
    return {};
}

QString takeClocks(const QStringList &texts, CliArguments &arguments)
{
    for (int slot = 0; slot < ReaderProtocol::SlotCount; ++slot) {
        const std::optional<quint8> code = ClockSelection::codeForFrequency(texts.at(slot));
        if (!code)
            return QStringLiteral("the clock of slot %1 must be 3.57, 3.68, 6.00 or 8.00, not '%2'")
                .arg(slot + 1)
                .arg(texts.at(slot));
        arguments.clocks.setCode(slot, *code);
    }
    return {};
}

QString takeSeconds(const QString &text, CliArguments &arguments)
{
    const std::optional<quint16> counts =
        isPlainDecimal(text) ? TimeSetting::countsFromEntry(text) : std::nullopt;
    if (!counts)
        return QStringLiteral("the time must be a number of seconds from 0 to %1, not '%2'")
            .arg(TimeSetting::MaxSeconds)
            .arg(text);
    arguments.timeCounts = *counts;
    return {};
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
    const std::optional<uint> code = decimalInRange(text, 0, 255);
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

    if (info->needsPort()) {
        parsed.portName = parser.isSet(PortOption) ? parser.value(PortOption) : environmentPort;
        if (parsed.portName.isEmpty())
            return CliParseResult::usageError(
                QStringLiteral("no port: give --port NAME or set VORN_PORT"));
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
    return QLatin1String(UsageLine) + QLatin1Char('\n') + options + QLatin1Char('\n') +
           commandsHelp() +
           QStringLiteral(
               "\nExit codes:\n"
               "  0  done\n"
               "  1  the reader failed: \"Error at reading Device!\" or\n"
               "     \"Timeout at reading Device!\" on standard error\n"
               "  2  usage error: unknown command, wrong arguments, no port\n"
               "  3  the port could not be opened (no such port, permission denied, in use)\n"
               "\nEnvironment:\n"
               "  VORN_PORT  the port to use when --port is not given\n"
               "\nNotes:\n"
               "  A frequency may have a decimal comma: 3,57 is 3.57.\n"
               "  lines shows a signal as set (yes) while the reader holds its line inactive,\n"
               "  as the window's check boxes do.\n"
               "  Arguments are checked before the port is opened: a wrong one sends nothing.\n"
               "  Put -- before a text that starts with '-'.\n");
}
