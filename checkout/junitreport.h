#pragma once

#include <QByteArray>
#include <QString>

struct CheckoutRun;
struct ReaderRecord;

// A checkout as JUnit XML for CI servers and production dashboards (the text of each reader is
// CheckoutText's).
class JUnitReport
{
public:
    // One test suite per reader, named by port and serial number, one test case per step.
    static QByteArray junit(const CheckoutRun &run);
};
