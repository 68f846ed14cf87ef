// vorn-emulator: an emulated Vorn reader on a pseudo-terminal. It prints the terminal's path as
// its first line, then serves the reader until SIGINT or SIGTERM.

#include "device/readermodel.h"
#include "emulator/emulatedreader.h"
#include "emulator/ptyserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <optional>

#include <sys/signalfd.h>

namespace {

struct ServerOptions
{
    quint8 model = ReaderModel::all().last().typeCode(); // the eight-slot reader
    quint8 firmwareVersion = 3;
    quint16 serialNumber = 1234;
    quint8 occupiedSlots = 0x25;
    int answerDelayMs = PtyServer::DefaultAnswerDelayMs;
    QString linkPath;
    QList<ReaderDefect> defects;
};

// Decimal, or hexadecimal after 0x, or binary after 0b (handy for the slot bits).
std::optional<uint> parseNumber(const QString &text, uint maximum)
{
    int base = 10;
    QString digits = text;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        digits = text.mid(2);
    } else if (text.startsWith(QLatin1String("0b"), Qt::CaseInsensitive)) {
        base = 2;
        digits = text.mid(2);
    }
    bool ok = false;
    const uint value = digits.toUInt(&ok, base);
    if (!ok || value > maximum)
        return std::nullopt;
    return value;
}

// "--version" names the firmware version the reader reports; given without a number it asks
// for the program's own version instead, as with any other tool.
bool asksForProgramVersion(const QStringList &arguments)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("--version"));
    if (at < 0)
        return false;
    return at + 1 == arguments.size() || arguments.at(at + 1).startsWith(QLatin1Char('-'));
}

std::optional<ServerOptions> parseOptions(const QCoreApplication &app, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves an emulated Vorn reader on a new pseudo-terminal and prints the "
                       "terminal's path as the first line."));
    parser.addHelpOption();
    const QCommandLineOption model(QStringLiteral("model"),
                                   QStringLiteral("Model type code: 4 or 8 slots (any byte)."),
                                   QStringLiteral("4|8"), QStringLiteral("8"));
    const QCommandLineOption version(
        QStringLiteral("version"),
        QStringLiteral("Firmware version number (0-255); alone, shows the program version."),
        QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption serial(QStringLiteral("serial"),
                                    QStringLiteral("Serial number (0-65535)."), QStringLiteral("N"),
                                    QStringLiteral("1234"));
    const QCommandLineOption cards(QStringLiteral("cards"),
                                   QStringLiteral("Slot occupancy bits, bit 0 for slot 1."),
                                   QStringLiteral("BITS"), QStringLiteral("0x25"));
    const QCommandLineOption answerDelay(
        QStringLiteral("answer-delay"),
        QStringLiteral("Time from a request to its reply, in milliseconds."), QStringLiteral("MS"),
        QString::number(PtyServer::DefaultAnswerDelayMs));
    const QCommandLineOption link(QStringLiteral("link"),
                                  QStringLiteral("Symbolic link to the terminal, removed at exit."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption defect(
        QStringLiteral("defect"),
        QStringLiteral("A lasting defect of the reader, repeatable: %1.")
            .arg(ReaderDefect::syntax().join(QStringLiteral(", "))),
        QStringLiteral("NAME"));
    parser.addOptions({model, version, serial, cards, answerDelay, link, defect});
    if (asksForProgramVersion(app.arguments()))
        parser.showVersion();
    parser.process(app);

    ServerOptions options;
    const auto number = [&](const QCommandLineOption &option, uint maximum) {
        const std::optional<uint> value = parseNumber(parser.value(option), maximum);
        if (!value && error->isEmpty())
            *error = QStringLiteral("invalid value for --%1: %2")
                         .arg(option.names().constFirst(), parser.value(option));
        return value.value_or(0);
    };
    options.model = quint8(number(model, 255));
    options.firmwareVersion = quint8(number(version, 255));
    options.serialNumber = quint16(number(serial, 65535));
    options.occupiedSlots = quint8(number(cards, 255));
    options.answerDelayMs = int(number(answerDelay, 60'000));
    options.linkPath = parser.value(link);
    for (const QString &name : parser.values(defect)) {
        const std::optional<ReaderDefect> parsed = ReaderDefect::fromName(name);
        if (parsed)
            options.defects.append(*parsed);
        else if (error->isEmpty())
            *error = QStringLiteral("unknown defect '%1': give one of %2")
                         .arg(name, ReaderDefect::syntax().join(QStringLiteral(", ")));
    }
    if (!error->isEmpty())
        return std::nullopt;
    return options;
}

void configure(EmulatedReader &reader, const ServerOptions &options)
{
    reader.setModelType(options.model);
    reader.setFirmwareVersion(options.firmwareVersion);
    reader.setSerialNumber(options.serialNumber);
    reader.setOccupiedSlots(options.occupiedSlots);
    reader.setRequireDtr(false); // a pseudo-terminal carries no DTR
    reader.setDefects(options.defects);
}

bool createLink(const QString &linkPath, const QString &target)
{
    if (QFileInfo(linkPath).isSymLink())
        QFile::remove(linkPath); // left behind by an earlier run that was killed
    return QFile::link(target, linkPath);
}

void removeLink(const QString &linkPath, const QString &target)
{
    const QFileInfo link(linkPath);
    if (link.isSymLink() && link.symLinkTarget() == target)
        QFile::remove(linkPath);
}

// The stop signals are blocked and read from a descriptor, so the serving loop sees them in
// its poll and ends cleanly.
int openStopSignalDescriptor(sigset_t *stopSignals)
{
    sigemptyset(stopSignals);
    sigaddset(stopSignals, SIGINT);
    sigaddset(stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, stopSignals, nullptr);
    return signalfd(-1, stopSignals, SFD_CLOEXEC);
}

void printError(const QString &text)
{
    std::fprintf(stderr, "vorn-emulator: %s\n", qPrintable(text));
}

} // namespace

int main(int argc, char *argv[])
{
    // Blocked before anything else runs, so no signal can end the process past the clean-up.
    sigset_t stopSignals;
    const int stopDescriptor = openStopSignalDescriptor(&stopSignals);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorn-emulator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORN_VERSION));

    QString error;
    const std::optional<ServerOptions> options = parseOptions(app, &error);
    if (!options) {
        printError(error);
        return 1;
    }
    if (stopDescriptor < 0) {
        printError(QStringLiteral("cannot watch for the stop signals"));
        return 1;
    }

    EmulatedReader reader;
    configure(reader, *options);
    PtyServer server(reader);
    server.setAnswerDelayMs(options->answerDelayMs);
    if (!server.open()) {
        printError(server.errorText());
        return 1;
    }
    const QString path = server.clientPath();
    if (!options->linkPath.isEmpty() && !createLink(options->linkPath, path)) {
        printError(QStringLiteral("cannot create the link %1").arg(options->linkPath));
        return 1;
    }
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);

    const bool served = server.serve(stopDescriptor);
    if (!served)
        printError(server.errorText());
    if (!options->linkPath.isEmpty())
        removeLink(options->linkPath, path);
    return served ? 0 : 1;
}
