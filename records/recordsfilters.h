#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>

struct RecordsQuery;
struct ReportQuery;

// What `records list` and `records report` are narrowed by, as people type it: on vornctl's
// command line or in the address of a vorn-dashboard request. Both read the texts here, so they
// accept and refuse the same values with the same words.
namespace RecordsFilters {

// The texts given, by option name without dashes ("serial", "since", ...); an option not given
// is not in the map.
using Texts = QMap<QString, QString>;

// The days a report covers when neither since nor until is given.
constexpr int ReportDays = 7;

// serial, outcome, since, station, lot, operator, plan, limit into a list query; what is wrong, or
// nothing.
QString takeList(const Texts &texts, RecordsQuery &query);

// since, until, station, model, lot, operator, plan, by into a report query, the window counted
// back from now where it is left open; what is wrong, or nothing. Messages name an option as
// optionPrefix followed by its name ("--since" for vornctl).
QString takeReport(const Texts &texts, const QDateTime &now, ReportQuery &query,
                   const QString &optionPrefix);

// A list's start: a day (2026-12-07, from local midnight) or a moment (2026-12-07T14:30, local
// unless it names its zone, 2026-12-07T13:30:00Z). Invalid when it is neither.
QDateTime sinceTime(const QString &text);

// A moment of a report's window, in UTC: a day (2026-12-07: its start, or with end its end) or
// a moment (2026-12-07T14:30, UTC unless it names its zone: 2026-12-07T15:30+01:00).
QDateTime reportTime(const QString &text, bool end);

} // namespace RecordsFilters
