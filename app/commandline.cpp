#include "app/commandline.h"

#include <QCommandLineParser>

#include <cstdio>

namespace {

void print(FILE *stream, const QString &text)
{
    std::fputs(qPrintable(text), stream);
    std::fflush(stream);
}

} // namespace

std::optional<CommandLine> CommandLine::parse(const QStringList &arguments, int &exitCode)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Bench tool for testing and servicing Vorn multi-slot smart-card readers.\n"
                       "The emulated readers emu-vorn8 and emu-vorn4 are always listed."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral(
            "Also list NAME as a port (a pseudo-terminal, a /dev/serial/by-id link, ...). "
            "May be given more than once."),
        QStringLiteral("NAME"));
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Write every exchange with the reader to FILE."),
                                   QStringLiteral("FILE"));
    parser.addOption(port);
    parser.addOption(trace);

    exitCode = 0;
    if (!parser.parse(arguments)) {
        print(stderr, parser.errorText() + QLatin1Char('\n'));
        exitCode = 1;
        return std::nullopt;
    }
    if (parser.isSet(help)) {
        // No application object exists yet, so the parser does not know the program's name.
        print(stdout, parser.helpText().replace(QLatin1String("<executable_name>"),
                                                QLatin1String("vorn-tool")));
        return std::nullopt;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("vorn-tool %1\n").arg(QStringLiteral(VORN_VERSION)));
        return std::nullopt;
    }
    return CommandLine{parser.values(port), parser.value(trace)};
}
