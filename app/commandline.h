#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The window's command line: --port NAME (repeatable) adds ports the system does not list,
// --trace FILE writes every exchange to FILE. Qt's own options (-platform, -style, -reverse,
// ...) belong to the application object, which takes them out of the arguments before parse()
// sees them; --help and --version are answered before that object exists, so that they work
// without a display.
struct CommandLine
{
    QStringList portNames;
    QString traceFile;

    // Before the application object exists, which needs a display: true when the program
    // should end at once, with exitCode: the help or the version was printed (0), or an
    // option that is neither vorn-tool's nor one of Qt's own was reported (a usage error).
    // Qt's options are left for the application object.
    static bool answersBeforeApplication(const QStringList &arguments, int &exitCode);

    // Nothing when the program should end at once (help, version or a usage error);
    // exitCode then says how.
    static std::optional<CommandLine> parse(const QStringList &arguments, int &exitCode);
};
