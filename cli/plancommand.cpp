#include "cli/plancommand.h"

#include "checkout/planlibrary.h"
#include "checkout/planreader.h"

#include <QIODevice>

namespace {

const QString PlanWord = QStringLiteral("plan");

QString identityText(const PlanIdentity &plan)
{
    return QStringLiteral("%1  revision %2  sha256 %3").arg(plan.name, plan.revision, plan.sha256);
}

} // namespace

PlanCommand::PlanCommand(QIODevice &standardOutput, QIODevice &standardError)
    : m_output(standardOutput), m_error(standardError)
{
}

bool PlanCommand::isPlanCommandLine(const QStringList &arguments)
{
    return arguments.size() > 1 && arguments.at(1) == PlanWord;
}

QString PlanCommand::helpText()
{
    return QStringLiteral(
        "Plans:\n"
        "  plan check FILE...    check plan files; prints each one's name, revision and\n"
        "                        SHA-256, or FILE:LINE:COLUMN: what is wrong (exit 2)\n"
        "  plan list             the installed plans (~/.config/vorn-tool/plans, then\n"
        "                        /etc/vorn-tool/plans)\n"
        "  plan show NAME|FILE   a plan's steps and every limit in force, defaults included\n");
}

int PlanCommand::run(const QStringList &arguments)
{
    const QStringList words = arguments.mid(2);
    const QString verb = words.value(0);
    if (verb == QLatin1String("check") && words.size() > 1)
        return check(words.mid(1));
    if (verb == QLatin1String("list") && words.size() == 1)
        return list();
    if (verb == QLatin1String("show") && words.size() == 2)
        return show(words.at(1));
    return refuse(QStringLiteral("vornctl: usage: vornctl plan check FILE... | plan list | plan "
                                 "show NAME|FILE"));
}

int PlanCommand::check(const QStringList &files)
{
    int exitCode = Done;
    for (const QString &file : files) {
        QString error;
        const std::optional<CheckoutPlan> plan = PlanReader::readFile(file, &error);
        if (!plan) {
            exitCode = refuse(error);
            continue;
        }
        for (const QString &warning : plan->warnings)
            m_error.write(warning.toUtf8() + '\n');
        m_output.write(
            (file + QStringLiteral(": ") + identityText(plan->options.plan) + QLatin1Char('\n'))
                .toUtf8());
    }
    return exitCode;
}

int PlanCommand::list()
{
    const QStringList files = PlanLibrary::installedFiles();
    // Nothing installed is an answer too, with where it was looked for.
    if (files.isEmpty())
        m_output.write(QStringLiteral("no plans installed in %1\n")
                           .arg(PlanLibrary::folders().join(QStringLiteral(" or ")))
                           .toUtf8());
    for (const QString &file : files) {
        QString error;
        const std::optional<CheckoutPlan> plan = PlanReader::readFile(file, &error);
        m_output.write((plan ? identityText(plan->options.plan) + QStringLiteral("  ") + file
                             : QStringLiteral("refused: ") + error)
                           .toUtf8() +
                       '\n');
    }
    return Done;
}

int PlanCommand::show(const QString &argument)
{
    QString error;
    const std::optional<CheckoutPlan> plan = PlanLibrary::load(argument, &error);
    if (!plan)
        return refuse(error);
    for (const QString &warning : plan->warnings)
        m_error.write(warning.toUtf8() + '\n');
    m_output.write(plan->showText().toUtf8());
    return Done;
}

int PlanCommand::refuse(const QString &text)
{
    m_error.write(text.toUtf8() + '\n');
    return Refused;
}
