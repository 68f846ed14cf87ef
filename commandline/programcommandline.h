#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

// The part of a command line every vorn program reads the same way, before an application
// object exists (so without a display): --help and --version answered with the program's name,
// an unknown option or a stray argument refused on standard error with exit code 2. The program
// adds its own options to parser() first and reads them afterwards.
class ProgramCommandLine
{
public:
    ProgramCommandLine(QString program, const QString &description);

    QCommandLineParser &parser() { return m_parser; }

    // True when the program is to go on; otherwise exitCode says how it ends: 0 after the help
    // or the version was printed, 2 after a usage error.
    bool parse(const QStringList &arguments, int &exitCode);
    // "PROGRAM: text" on standard error, and exitCode 2.
    void usageError(const QString &text, int &exitCode) const;

private:
    QString m_program;
    QCommandLineParser m_parser;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
};
