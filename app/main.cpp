#include "app/commandline.h"
#include "app/windowstartup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // Help, version and a mistyped option need no display, so they are answered before the
    // application object exists; that object then takes Qt's own options (-platform, -style,
    // ...) out of the rest.
    int exitCode = 0;
    if (CommandLine::answersBeforeApplication(arguments, exitCode))
        return exitCode;

    QApplication application(argc, argv);
    WindowStartup startup;
    if (!startup.start(exitCode))
        return exitCode;
    return QApplication::exec();
}
