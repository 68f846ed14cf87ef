#include "app/commandline.h"

#include <QApplication>
#include <QCommandLineParser>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int UsageErrorExitCode = 1;

void print(FILE *stream, const QString &text)
{
    std::fputs(qPrintable(text), stream);
    std::fflush(stream);
}

// The options of vorn-tool itself.
struct Options
{
    QCommandLineOption help;
    QCommandLineOption version;
    QCommandLineOption port;
    QCommandLineOption trace;
};

Options addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Bench tool for testing and servicing Vorn multi-slot smart-card readers.\n"
        "The emulated readers emu-vorn8 and emu-vorn4 are always listed.\n"
        "Qt's standard options, such as -platform, -style and -reverse, apply too."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Also list NAME as a port (a pseudo-terminal, a /dev/serial/by-id link, "
                       "rfc2217://HOST:PORT, ...). "
                       "May be given more than once."),
        QStringLiteral("NAME"));
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Write every exchange with the reader to FILE."),
                                   QStringLiteral("FILE"));
    parser.addOption(port);
    parser.addOption(trace);
    return {help, version, port, trace};
}

// Qt's own options, which the application object takes out of the arguments (QGuiApplication,
// QApplication and the X11 platform). Known here so that a mistyped option of vorn-tool's is
// reported before that object tries to reach a display, which without one ends the program.
void addQtOptions(QCommandLineParser &parser)
{
    for (const char *name :
         {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
          "geometry", "qwindowicon", "icon", "qwindowtitle", "title", "session", "display", "name",
          "visual", "im", "style", "stylesheet", "qmljsdebugger"})
        parser.addOption({QLatin1String(name), QString(), QStringLiteral("value")});
    for (const char *name : {"reverse", "widgetcount", "testability", "nograb", "dograb", "sync"})
        parser.addOption({QLatin1String(name), QString()});
}

// Prints the help or the version when the parsed arguments ask for one; true when they did.
bool printHelpOrVersion(const QCommandLineParser &parser, const Options &options)
{
    if (parser.isSet(options.help)) {
        // The application object may not exist yet, so the parser may not know the program's
        // name.
        print(stdout, parser.helpText().replace(QLatin1String("<executable_name>"),
                                                QLatin1String("vorn-tool")));
        return true;
    }
    if (parser.isSet(options.version)) {
        print(stdout, QStringLiteral("vorn-tool %1\n").arg(QStringLiteral(VORN_VERSION)));
        return true;
    }
    return false;
}

// --help-all: the help with Qt's own options, which only an application object can list; one
// on the offscreen platform needs no display. Qt prints the text and ends the program.
[[noreturn]] void printHelpWithQtOptions()
{
    std::array<char *, 3> arguments{const_cast<char *>("vorn-tool"),
                                    const_cast<char *>("-platform"),
                                    const_cast<char *>("offscreen")};
    int count = int(arguments.size());
    const QApplication application(count, arguments.data());
    QCommandLineParser parser;
    addOptions(parser);
    parser.process(QStringList{QStringLiteral("vorn-tool"), QStringLiteral("--help-all")});
    std::abort(); // not reached: process() has ended the program
}

} // namespace

bool CommandLine::answersBeforeApplication(const QStringList &arguments, int &exitCode)
{
    QCommandLineParser parser;
    const Options options = addOptions(parser);
    addQtOptions(parser);
    // Qt's options are single-dash words: read as compacted letters, "-reverse" would hold -v.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    exitCode = 0;
    if (!parser.parse(arguments)) {
        // The same words and exit code as parse() gives once the application object exists.
        print(stderr, parser.errorText() + QLatin1Char('\n'));
        exitCode = UsageErrorExitCode;
        return true;
    }
    if (parser.isSet(QStringLiteral("help-all")))
        printHelpWithQtOptions();
    return printHelpOrVersion(parser, options);
}

std::optional<CommandLine> CommandLine::parse(const QStringList &arguments, int &exitCode)
{
    QCommandLineParser parser;
    const Options options = addOptions(parser);
    exitCode = 0;
    if (!parser.parse(arguments)) {
        print(stderr, parser.errorText() + QLatin1Char('\n'));
        exitCode = UsageErrorExitCode;
        return std::nullopt;
    }
    if (printHelpOrVersion(parser, options))
        return std::nullopt;
    return CommandLine{parser.values(options.port), parser.value(options.trace)};
}
