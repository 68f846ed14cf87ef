#pragma once

#include "checkout/checkoutrecord.h"

#include <QString>

// A stored checkout as text, as the checkout printed it: who, where and when, a table of the
// steps (step, outcome, measured, limit, ms) and the summary line
// "PASS  ttyUSB0  Vorn8  SN 001234  4.21 s".
namespace RecordText {

QString render(const ReaderRecord &record);
QString summaryLine(const ReaderRecord &record);

// A field of a CSV line (RFC 4180): as it is, or quoted when it holds a comma, a quote or a
// line break.
QString csvField(const QString &text);

} // namespace RecordText
