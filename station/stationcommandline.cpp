#include "station/stationcommandline.h"

#include "commandline/checkoutcommandline.h"
#include "emulator/linefactory.h"

#include "commandline/programcommandline.h"

std::optional<StationCommandLine> StationCommandLine::parse(const QStringList &arguments,
                                                            const QString &environmentRecords,
                                                            int &exitCode)
{
    ProgramCommandLine commandLine(
        QStringLiteral("vorn-station"),
        QStringLiteral("The checkout window of a production line: one tile per reader, one key "
                       "to check them all, a large PASS or FAIL, and the records kept."));
    QCommandLineParser &parser = commandLine.parser();
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("A tile for the reader on NAME (ttyUSB0, a /dev/serial/by-id link, a "
                       "pseudo-terminal, rfc2217://HOST:PORT). May be given more than once. "
                       "Default: every serial port the system lists."),
        QStringLiteral("NAME"));
    const QCommandLineOption emulated(
        QStringLiteral("emulated"),
        QStringLiteral("Also a tile for each emulated reader, emu-vorn8 and emu-vorn4."));
    const QCommandLineOption automatic(
        QStringLiteral("auto"),
        QStringLiteral("Check a reader as soon as it answers on its port, once: an idle tile "
                       "asks for the identification every 2 s."));
    const QCommandLineOption records(
        QStringLiteral("records"),
        QStringLiteral("Where the records go: sqlite:PATH or postgresql://[USER@]HOST[:PORT]/DB. "
                       "Default: $VORN_RECORDS, else the records file in the user's data "
                       "folder."),
        QStringLiteral("URL"));
    const QCommandLineOption language(
        QStringLiteral("language"),
        QStringLiteral("The language the window speaks to the operator: de, or en. Default: the "
                       "system's (LANGUAGE, LC_ALL, LANG), English where it has no translation. "
                       "The records stay the same in every language."),
        QStringLiteral("LANG"));
    parser.addOptions({port, emulated, automatic, records, language});
    CheckoutCommandLine::addOptions(parser);

    if (!commandLine.parse(arguments, exitCode))
        return std::nullopt;
    const auto usageError = [&commandLine, &exitCode](const QString &text) {
        commandLine.usageError(text, exitCode);
        return std::nullopt;
    };

    QString error;
    const std::optional<CheckoutCommandLine::Parsed> checkout =
        CheckoutCommandLine::take(parser, &error);
    if (!checkout)
        return usageError(error);

    StationCommandLine parsed;
    parsed.options = checkout->options;
    // An operator sits at the station: the display and card steps ask in the tile, unless the
    // plan says nobody is asked.
    parsed.options.prompt = checkout->planPrompt.value_or(true);
    parsed.planGiven = checkout->fromPlan;
    parsed.station = checkout->station;
    parsed.publish = checkout->publish;
    parsed.cfxHandle = checkout->cfxHandle;
    parsed.portsGiven = parser.isSet(port);
    parsed.emulated = parser.isSet(emulated);
    parsed.autoCheck = parser.isSet(automatic);
    // Not given: the window shows the operator and lot entered last time.
    parsed.operatorName = checkout->operatorName;
    parsed.lot = checkout->lot;
    if (parser.isSet(records) && parser.value(records).isEmpty())
        return usageError(QStringLiteral("--records needs a URL"));
    const std::optional<RecordsLocation> location =
        RecordsLocation::choose(parser.value(records), false, environmentRecords, &error);
    if (!location)
        return usageError(error);
    parsed.records = *location;
    parsed.language = parser.value(language).trimmed();
    if (parser.isSet(language) && parsed.language.isEmpty())
        return usageError(QStringLiteral("--language needs a language, such as de or en"));

    QStringList devices;
    for (const QString &name : parser.values(port)) {
        const QString trimmed = name.trimmed();
        if (trimmed.isEmpty())
            return usageError(QStringLiteral("--port needs a name"));
        if (devices.contains(LineFactory::devicePath(trimmed)))
            return usageError(QStringLiteral("the port %1 is given twice").arg(trimmed));
        devices.append(LineFactory::devicePath(trimmed));
        parsed.ports.append(trimmed);
    }
    return parsed;
}
