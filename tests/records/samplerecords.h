#pragma once

#include "checkout/checkoutrecord.h"

#include <QDateTime>
#include <QJsonObject>
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
    record.tool = QStringLiteral("vornctl");
    record.toolVersion = QStringLiteral("1.0.0");
    record.operatorName = QStringLiteral("operator-%1").arg(n % 2);
    record.lot = QStringLiteral("lot-%1").arg(n / 10);
    record.options = QJsonObject{{QStringLiteral("model"), 8}};
    StepRecord identify;
    identify.name = QStringLiteral("identify");
    identify.outcome = identified ? StepOutcome::Pass : StepOutcome::Error;
    identify.durationMs = 120;
    if (identified)
        identify.setMeasurements(
            {Measurement::of(QStringLiteral("model_type"), 8, {}, MeasurementLimit::equals(8)),
             Measurement::of(QStringLiteral("firmware"), 3, {}),
             Measurement::of(QStringLiteral("serial"), 1000 + n % 100, {})});
    else
        identify.message = QStringLiteral("no reply");
    record.steps.append(identify);
    for (const char *name :
         {"status", "select-slot", "clocks", "tarvik", "time", "echo", "lines"}) {
        StepRecord step;
        step.name = QLatin1String(name);
        step.outcome = StepOutcome::Pass;
        step.durationMs = 80;
        if (!identified) {
            step.outcome = StepOutcome::Skip;
        } else if (step.name == QLatin1String("clocks")) {
            step.setMeasurements(
                {Measurement::of(QStringLiteral("clock_slots_following"), clocksFail ? 7 : 8, {},
                                 MeasurementLimit::equals(8))});
            if (clocksFail) {
                step.outcome = StepOutcome::Fail;
                step.durationMs = 300;
                step.message = QStringLiteral("the clocks of slot 3 do not follow");
            }
        } else if (step.name == QLatin1String("time")) {
            step.setMeasurements(
                {Measurement::of(QStringLiteral("time_setting_s"), 20.0, QStringLiteral("s"),
                                 MeasurementLimit::range(0, 428))});
        }
        record.steps.append(step);
    }
    record.outcome = !identified  ? ReaderOutcome::Error
                     : clocksFail ? ReaderOutcome::Fail
                                  : ReaderOutcome::Pass;
    return record;
}
