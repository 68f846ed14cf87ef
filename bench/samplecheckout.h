#pragma once

#include "checkout/checkoutrecord.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <utility>

// A checkout of an eight-slot reader as the checkout makes it, every step with its values, for
// the records benchmarks: new id, started now.
inline ReaderRecord sampleCheckout(int n, const QString &station)
{
    ReaderRecord record;
    record.id = ReaderRecord::newId();
    record.station = station;
    record.port = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A10K%1-if00-port0").arg(n % 8);
    record.modelType = 8;
    record.firmware = 3;
    record.serialNumber = n % 65536;
    record.started = QDateTime::currentDateTimeUtc();
    record.durationMs = 4210;
    record.restored = true;
    record.outcome = ReaderOutcome::Pass;
    // The measurements a healthy eight-slot reader's checkout keeps: the rows a record adds.
    const QList<std::pair<const char *, QList<Measurement>>> steps{
        {"identify",
         {Measurement::of("model_type", 8, {}, MeasurementLimit::oneOf({4, 8})),
          Measurement::of("firmware", 3, {}, MeasurementLimit::range(3, {})),
          Measurement::of("serial", n % 65536, {})}},
        {"status",
         {Measurement::of("occupancy", 0x25, {}),
          Measurement::of("selected_slot", 1, {}, MeasurementLimit::range(1, 8))}},
        {"select-slot", {Measurement::of("slots_selectable", 8, {}, MeasurementLimit::equals(8))}},
        {"clocks", {Measurement::of("clock_slots_following", 8, {}, MeasurementLimit::equals(8))}},
        {"tarvik", {Measurement::of("tarvik_occupancy", 0x25, {}, MeasurementLimit::equals(0x25))}},
        {"time",
         {Measurement::of("time_setting_s", 10.0, "s", MeasurementLimit::range(0, 428)),
          Measurement::of("time_setting_counts", 1530, {})}},
        {"echo", {Measurement::of("bytes_echoed", 8, "bytes", MeasurementLimit::equals(8))}},
        {"lines",
         {Measurement::of("cts_active", false, {}), Measurement::of("dcd_active", true, {})}},
        {"display", {}}};
    for (const auto &[name, measurements] : steps) {
        StepRecord step;
        step.name = QLatin1String(name);
        step.outcome = StepOutcome::Pass;
        step.durationMs = 120;
        step.setMeasurements(measurements);
        record.steps.append(step);
    }
    return record;
}
