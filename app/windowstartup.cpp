#include "app/windowstartup.h"

#include "app/commandline.h"
#include "app/widget.h"
#include "app/windowfont.h"
#include "packaging/windowicon.h"
#include "serial/exchangetrace.h"

#include <QApplication>
#include <QLoggingCategory>

WindowStartup::WindowStartup() = default;

WindowStartup::~WindowStartup() = default;

bool WindowStartup::start(int &exitCode)
{
    const std::optional<CommandLine> commandLine =
        CommandLine::parse(QApplication::arguments(), exitCode);
    if (!commandLine)
        return false;

    // The icon's pictures, drawn from its SVG when the program was built.
    QApplication::setWindowIcon(WindowIcon::of(QStringLiteral("vorn-tool")));
    WindowFont::applyToApplication();
    // The window keeps a slot for a button the form does not have; connecting by name says
    // so on every start, which tells a technician nothing.
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname.warning=false"));

    WindowOptions options{commandLine->portNames, &m_clock, nullptr};
    if (!commandLine->traceFile.isEmpty()) {
        m_traceFile.setFileName(commandLine->traceFile);
        if (!m_traceFile.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            qWarning("vorn-tool: cannot write the trace to %s", qPrintable(commandLine->traceFile));
            exitCode = 1;
            return false;
        }
        m_trace = std::make_unique<TextTrace>(m_traceFile, m_clock);
        options.trace = m_trace.get();
    }

    m_window = std::make_unique<Widget>(options);
    m_window->show();
    return true;
}
