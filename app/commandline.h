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

    // Before the application object exists: true when the arguments ask for the help or the
    // version, which are then printed. Qt's options and any others are left for later.
    static bool answersHelpOrVersion(const QStringList &arguments);

    // Nothing when the program should end at once (help, version or a usage error);
    // exitCode then says how.
    static std::optional<CommandLine> parse(const QStringList &arguments, int &exitCode);
};
