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
        const bool finished = process.waitForFinished(30'000);
        if (!finished) {
            process.kill();
            process.waitForFinished();
        }
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        // Exit code -1: it did not end by itself; the failing test says which way.
        if (!finished)
            run.err += QStringLiteral("\n(vornctl did not end within 30 s)");
        else if (process.exitStatus() != QProcess::NormalExit)
            run.err += QStringLiteral("\n(vornctl crashed)");
        else
            run.exitCode = process.exitCode();
        return run;
    }
};
