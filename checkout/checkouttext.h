#pragma once

#include <QList>
#include <QString>

struct ReaderRecord;

// The checkout of one reader as text, the same wherever it is shown: as the checkout ends, and
// when a kept record is shown again later.
namespace CheckoutText {

// The port, the table (step, outcome, measured, limit, time in ms) with the reasons under their
// steps, then the summary line.
QString readerText(const ReaderRecord &record);
// "PASS  emu-vorn8  Vorn8  SN 001234  4.21 s"
QString summaryLine(const ReaderRecord &record);
// After a checkout of several readers: one line a reader with its port, serial number,
// outcome, and the first step that failed with its message.
QString summaryTable(const QList<ReaderRecord> &records);

} // namespace CheckoutText
