#pragma once

#include "checkout/checkoutsink.h"

#include <QString>

// The run as a JUnit XML file for CI servers and production dashboards. The file is written
// beside the old one and renamed over it at the end, so a report of an earlier run stays whole
// until this one is complete; a failure leaves the old file as it was.
class JUnitSink final : public CheckoutSink
{
public:
    explicit JUnitSink(QString path) : m_path(std::move(path)) {}

    // Whether the file can be written, tried before any port opens without touching a report
    // already there; what is wrong, or nothing.
    QString prepare() const;

    void runFinished(const CheckoutRun &run) override;
    // Why the report was not written, or nothing when it was.
    QString failure() const { return m_failure; }

private:
    QString m_path;
    QString m_failure;
};
