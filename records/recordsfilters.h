#pragma once

#include "records/linerecords.h"
#include "records/recordsfilter.h"

#include <QDateTime>
#include <QString>

// What `records list` and `records report` (and the dashboard's /api/records and /api/report)
// are asked, as people type it: the filter, and what a list or a report asks beside it. Every
// front end reads the texts here, so they accept and refuse the same values with the same words.
// Messages name an option as optionPrefix followed by its name ("--since" for vornctl).
namespace RecordsFilters {

using Texts = RecordsFilter::Texts;

// The filter, the outcome and the limit of a list; what is wrong, or nothing.
QString takeList(const Texts &texts, const QString &optionPrefix, RecordsFilter &filter,
                 LineRecords::ListChoice &choice);

// The filter and the grouping of a report, its window counted back from now where the filter
// leaves it open; what is wrong, or nothing.
QString takeReport(const Texts &texts, const QDateTime &now, const QString &optionPrefix,
                   ReportQuery &query);

} // namespace RecordsFilters
