#pragma once

#include "checkout/checkoutrecord.h"
#include "checkout/stepcatalogue.h"

#include <QDateTime>
#include <QTimeZone>

// The longest checkout a plan can make: every step of the catalogue, every measurement it
// declares (a slot pattern once per slot of an eight-slot reader), each outside its limit, and
// every step failed with a reason. Made from the catalogue, so that a step added later is in it.
// For the certificate's benchmark and its tests: the most a certificate ever has to hold.
inline ReaderRecord everyStepFailingCheckout()
{
    ReaderRecord record;
    record.id = QStringLiteral("every-step-failing-0001");
    record.tool = QStringLiteral("vornctl");
    record.toolVersion = QStringLiteral("1.0.0");
    record.station = QStringLiteral("line-1");
    record.operatorName = QStringLiteral("anna");
    record.lot = QStringLiteral("WO-4711");
    record.plan = {QStringLiteral("Everything"), QStringLiteral("1"),
                   QString(64, QLatin1Char('e'))};
    record.port = QStringLiteral("/dev/ttyUSB0");
    record.modelType = 8;
    record.firmware = 3;
    record.serialNumber = 1234;
    record.started = QDateTime(QDate(2026, 12, 7), QTime(9, 30), QTimeZone::utc());
    record.durationMs = 61500;
    record.outcome = ReaderOutcome::Fail;
    for (const StepDeclaration &declared : StepCatalogue::steps()) {
        StepRecord step;
        step.name = declared.name;
        step.outcome = StepOutcome::Fail;
        step.durationMs = 300;
        step.message =
            QStringLiteral("the reader's answer to %1 is out of its limits").arg(declared.name);
        QList<Measurement> measurements;
        for (const MeasurementDeclaration &measurement : declared.measurements) {
            const int readings = measurement.isPattern() ? 8 : 1;
            for (int slot = 1; slot <= readings; ++slot) {
                const QString name = measurement.isPattern()
                                         ? measurement.name.chopped(1) + QString::number(slot)
                                         : measurement.name;
                // A value the limit "= 1" refuses, whatever the measurement is.
                measurements.append(
                    Measurement::of(name, 2, measurement.unit, MeasurementLimit::equals(1)));
            }
        }
        step.setMeasurements(measurements);
        record.steps.append(step);
    }
    return record;
}
