// vornctl: one reader command from the shell, on the same exchanges as the window.

#include "cli/cliprogram.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QFile output;
    QFile error;
    output.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    error.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    return CliProgram(output, error)
        .run(application.arguments(), qEnvironmentVariable("VORN_PORT"));
}
