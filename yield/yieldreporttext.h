#pragma once

#include "yield/yieldreport.h"

#include <QString>

#include <optional>

// A yield report for a terminal and for spreadsheets.
namespace YieldReportText {

// The window and its filters, the headline figures, the Pareto of failing steps drawn as bars
// of block characters, and the groups as a table. Yields in per cent with one decimal.
QString render(const ReportFigures &figures);
// The tables of a report as CSV files: one header, every row as many fields as it.
enum class CsvTable
{
    Figures,  // grouped: a row per group; else the window's totals as one row
    Attempts, // the readers first checked in the window by the attempt they passed on
    Pareto,   // the failing steps (with the Pareto of causes: the repairs' causes)
};
// "figures", "attempts", "pareto"; nothing for another word.
std::optional<CsvTable> csvTableFromName(const QString &name);

// One table as CSV (RFC 4180, lines end in CRLF); yields and shares from 0 to 1, an unknown
// yield or time empty.
//   Figures, grouped: GROUPING,checkouts,readers,first_pass_yield,final_yield
//   Figures: from,to,checkouts,readers,pass,fail,error,aborted,refused,first_checked_readers,
//            first_pass_yield,final_yield,retested_readers,unidentified_checkouts,repairs,
//            repaired_readers,passed_after_repair,median_duration_ms,p95_duration_ms
//   Attempts: attempt,readers,share  (attempt 1, 2, "3 or later", "not passed")
//   Pareto: step,failures,share,cumulative  (or cause,repairs,share,cumulative)
QString csv(const ReportFigures &figures, CsvTable table = CsvTable::Figures);

// "2026-11-30 00:00 to 2026-12-07 00:00 UTC"
QString windowText(const ReportQuery &query);
// "station line-1, lot L1", or empty without filters.
QString filterText(const ReportQuery &query);
// "1 40, 2 3, 3+ 1, not passed 2": the readers first checked by the attempt they passed on.
QString attemptsText(const ReportFigures::Attempts &attempts);
// "2.16 s", or "–".
QString secondsText(std::optional<qint64> milliseconds);

} // namespace YieldReportText
