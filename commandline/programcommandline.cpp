#include "commandline/programcommandline.h"

#include <cstdio>

namespace {

void print(FILE *stream, const QString &text)
{
    std::fputs(qPrintable(text), stream);
    std::fflush(stream);
}

} // namespace

ProgramCommandLine::ProgramCommandLine(QString program, const QString &description)
    : m_program(std::move(program)), m_help(m_parser.addHelpOption()),
      m_version(m_parser.addVersionOption())
{
    m_parser.setApplicationDescription(description);
}

bool ProgramCommandLine::parse(const QStringList &arguments, int &exitCode)
{
    exitCode = 0;
    if (!m_parser.parse(arguments)) {
        usageError(m_parser.errorText(), exitCode);
        return false;
    }
    if (m_parser.isSet(m_help)) {
        // No application object exists yet, so the parser does not know the program's name.
        print(stdout, m_parser.helpText().replace(QLatin1String("<executable_name>"), m_program));
        return false;
    }
    if (m_parser.isSet(m_version)) {
        print(stdout, QStringLiteral("%1 %2\n").arg(m_program, QStringLiteral(VORN_VERSION)));
        return false;
    }
    if (!m_parser.positionalArguments().isEmpty()) {
        usageError(QStringLiteral("unexpected argument '%1'")
                       .arg(m_parser.positionalArguments().constFirst()),
                   exitCode);
        return false;
    }
    return true;
}

void ProgramCommandLine::usageError(const QString &text, int &exitCode) const
{
    print(stderr, QStringLiteral("%1: %2\n").arg(m_program, text));
    exitCode = 2;
}
