#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The window's command line: --port NAME (repeatable) adds ports the system does not list,
// --trace FILE writes every exchange to FILE. Parsed before any window exists, so that
// --help and --version work without a display.
struct CommandLine
{
    QStringList portNames;
    QString traceFile;

    // Nothing when the program should end at once (help, version or a usage error);
    // exitCode then says how.
    static std::optional<CommandLine> parse(const QStringList &arguments, int &exitCode);
};
