#pragma once

#include "checkout/checkoutrecord.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <array>

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
    const QList<std::array<const char *, 3>> steps{
        {"identify", "Vorn8, firmware 3, SN 001234", "model 8, firmware >= 3"},
        {"status", "cards: 1 3 6, selected 1", "selected slot 1-8"},
        {"select-slot", "slots 1-8 followed", "each slot selected"},
        {"clocks", "3.57 3.68 6.00 8.00 3.57 3.68 6.00 8.00", "as set, 4 patterns"},
        {"tarvik", "cards: 1 3 6", "as status"},
        {"time", "10 s", ""},
        {"echo", "8 of 8 bytes", "each byte echoed"},
        {"lines", "CTS off, DCD on", ""},
        {"display", "", "operator"}};
    for (const auto &[name, measured, limits] : steps)
        record.steps.append({QLatin1String(name), StepOutcome::Pass, 120, QLatin1String(measured),
                             QLatin1String(limits), QString()});
    return record;
}
