#pragma once

#include <QByteArray>
#include <QString>

struct CheckoutRun;
struct ReaderRecord;

// A checkout as vornctl writes it: per reader a table of its steps and a summary line, or the
// whole run as JUnit XML for CI servers and production dashboards.
class CheckoutReport
{
public:
    // The table (step, outcome, measured, limit, time in ms), messages under their steps, then
    // the summary line.
    static QString readerText(const ReaderRecord &record);
    // "PASS  emu-vorn8  Vorn8  SN 001234  4.21 s"
    static QString summaryLine(const ReaderRecord &record);

    // One test suite per reader, named by port and serial number, one test case per step.
    static QByteArray junit(const CheckoutRun &run);
};
