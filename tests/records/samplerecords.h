#pragma once

#include "checkout/checkoutrecord.h"

#include <QDateTime>
#include <QString>
#include <QTimeZone>

// Checkout records as a station makes them, numbered: a passing reader, one whose clocks
// failed (every fifth), one that never identified (every seventh). Record n started n minutes
// after the first.
inline ReaderRecord sampleRecord(int n, const QString &idPrefix = QStringLiteral("record"))
{
    ReaderRecord record;
    record.id = QStringLiteral("%1-%2").arg(idPrefix).arg(n, 6, 10, QLatin1Char('0'));
    record.station = QStringLiteral("station-%1").arg(n % 3);
    record.port = QStringLiteral("ttyUSB%1").arg(n % 4);
    record.started = QDateTime(QDate(2026, 12, 7), QTime(8, 0), QTimeZone::utc()).addSecs(60LL * n);
    record.durationMs = 4000 + n % 1000;
    record.restored = true;
    const bool identified = n % 7 != 0;
    const bool clocksFail = n % 5 == 0;
    if (identified) {
        record.modelType = 8;
        record.firmware = 3;
        record.serialNumber = 1000 + n % 100;
    }
    record.steps.append(
        {QStringLiteral("identify"), identified ? StepOutcome::Pass : StepOutcome::Error, 120,
         identified ? QStringLiteral("Vorn8 fw 3") : QString(), QStringLiteral("model 8"),
         identified ? QString() : QStringLiteral("no reply")});
    for (const char *name :
         {"status", "select-slot", "clocks", "tarvik", "time", "echo", "lines"}) {
        StepRecord step{QLatin1String(name),           StepOutcome::Pass,        80,
                        QStringLiteral("as expected"), QStringLiteral("as set"), QString()};
        if (!identified)
            step.outcome = StepOutcome::Skip;
        else if (clocksFail && step.name == QLatin1String("clocks"))
            step = {step.name,
                    StepOutcome::Fail,
                    300,
                    QStringLiteral("slot 3: 3.57"),
                    QStringLiteral("slot 3: 8.00"),
                    QStringLiteral("slot 3 did not follow")};
        record.steps.append(step);
    }
    record.outcome = !identified  ? ReaderOutcome::Error
                     : clocksFail ? ReaderOutcome::Fail
                                  : ReaderOutcome::Pass;
    return record;
}
