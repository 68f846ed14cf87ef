#pragma once

#include <QString>
#include <QStringList>

class QIODevice;

// `vornctl plan ...`: checks plan files before they go to a line (check FILE..., for a
// pre-commit hook), lists the installed plans and shows one as the checkout will run it.
class PlanCommand
{
public:
    enum ExitCode
    {
        Done = 0,
        Refused = 2, // a plan was refused, or the command line is wrong
    };

    PlanCommand(QIODevice &standardOutput, QIODevice &standardError);

    // True when the command of a vornctl command line (program name first) is `plan`.
    static bool isPlanCommandLine(const QStringList &arguments);
    // The plan commands for vornctl --help.
    static QString helpText();

    int run(const QStringList &arguments);

private:
    int check(const QStringList &files);
    int list();
    int show(const QString &argument);
    int refuse(const QString &text);

    QIODevice &m_output;
    QIODevice &m_error;
};
