#pragma once

#include "records/yieldreport.h"

#include <QString>

// A yield report for a terminal and for spreadsheets.
namespace YieldReportText {

// The window and its filters, the headline figures, the Pareto of failing steps drawn as bars
// of block characters, and the groups as a table. Yields in per cent with one decimal.
QString render(const ReportFigures &figures);
// The groups (key, checkouts, readers, first_pass_yield, final_yield) when the report is
// grouped, else the Pareto (step, failures, share, cumulative); yields and shares from 0 to 1,
// an unknown yield empty; lines end in CRLF.
QString csv(const ReportFigures &figures);

// "2026-11-30 00:00 to 2026-12-07 00:00 UTC"
QString windowText(const ReportQuery &query);
// "station line-1, lot L1", or empty without filters.
QString filterText(const ReportQuery &query);
// "2.16 s", or "–".
QString secondsText(std::optional<qint64> milliseconds);

} // namespace YieldReportText
