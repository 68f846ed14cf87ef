// vornctl: one reader command from the shell, on the same exchanges as the window.

#include "cli/cliprogram.h"
#include "cli/recordscommand.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <memory>

#include <unistd.h>

int main(int argc, char **argv)
{
    const std::unique_ptr<QCoreApplication> application =
        RecordsCommand::makeApplication(argc, argv);
    QFile output;
    QFile error;
    output.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    error.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    CliProgram program(output, error);
    program.setTerminal({::isatty(STDIN_FILENO) == 1, ::isatty(STDERR_FILENO) == 1, STDIN_FILENO});
    return program.run(QCoreApplication::arguments(), qEnvironmentVariable("VORN_PORT"));
}
