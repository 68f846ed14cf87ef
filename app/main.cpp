#include "app/commandline.h"
#include "app/widget.h"
#include "serial/exchangetrace.h"
#include "serial/realclock.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QLoggingCategory>

#include <memory>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    int exitCode = 0;
    const std::optional<CommandLine> commandLine = CommandLine::parse(arguments, exitCode);
    if (!commandLine)
        return exitCode;

    QApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/vorn-tool.svg")));
    // The window keeps a slot for a button the form does not have; connecting by name says
    // so on every start, which tells a technician nothing.
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname.warning=false"));
    RealClock clock;
    WindowOptions options{commandLine->portNames, &clock, nullptr};

    QFile traceFile(commandLine->traceFile);
    std::unique_ptr<TextTrace> trace;
    if (!commandLine->traceFile.isEmpty()) {
        if (!traceFile.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            qWarning("vorn-tool: cannot write the trace to %s", qPrintable(commandLine->traceFile));
            return 1;
        }
        trace = std::make_unique<TextTrace>(traceFile, clock);
        options.trace = trace.get();
    }

    Widget window(options);
    window.show();
    return application.exec();
}
