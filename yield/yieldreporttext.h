#pragma once

#include "yield/yieldreport.h"

#include <QString>

// A yield report for a terminal and for spreadsheets.
namespace YieldReportText {

// The window and its filters, the headline figures, the Pareto of failing steps drawn as bars
// of block characters, and the groups as a table. Yields in per cent with one decimal.
QString render(const ReportFigures &figures);
// The groups (key, checkouts, readers, first_pass_yield, final_yield) when the report is
// grouped, else the Pareto (step, failures, share, cumulative; or cause, repairs, share,
// cumulative with the Pareto of causes); yields and shares from 0 to 1,
// an unknown yield empty; then the line "attempts,N1,N2,N3,NOT" (the readers first checked in
// the window that passed on attempt 1, 2, 3 or later, and not yet); lines end in CRLF.
QString csv(const ReportFigures &figures);

// "2026-11-30 00:00 to 2026-12-07 00:00 UTC"
QString windowText(const ReportQuery &query);
// "station line-1, lot L1", or empty without filters.
QString filterText(const ReportQuery &query);
// "1 40, 2 3, 3+ 1, not passed 2": the readers first checked by the attempt they passed on.
QString attemptsText(const ReportFigures::Attempts &attempts);
// "2.16 s", or "–".
QString secondsText(std::optional<qint64> milliseconds);

} // namespace YieldReportText
