#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

// One run of the built vornctl: its exit code and what it wrote.
struct VornctlRun
{
    int exitCode = -1;
    QString out;
    QString err;

    static VornctlRun
    of(const QStringList &arguments,
       const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VORNCTL_PATH), arguments);
        VornctlRun run;
        if (!process.waitForFinished(30'000) || process.exitStatus() != QProcess::NormalExit)
            return run;
        run.exitCode = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }
};
