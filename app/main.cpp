#include "app/commandline.h"
#include "app/windowstartup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // Help and version need no display, so they are answered before the application object
    // exists; that object then takes Qt's own options (-platform, -style, ...) out of the rest.
    if (CommandLine::answersHelpOrVersion(arguments))
        return 0;

    QApplication application(argc, argv);
    WindowStartup startup;
    int exitCode = 0;
    if (!startup.start(exitCode))
        return exitCode;
    return QApplication::exec();
}
