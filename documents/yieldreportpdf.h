#pragma once

#include "yield/yieldreport.h"

#include <QList>
#include <QString>

#include <optional>

// The yield report on paper: two A4 pages a supervisor prints or mails. The first holds the
// window, the headline figures, first-pass and final yield per day as a chart, and the Pareto
// of failing steps (bars, with the cumulative share as a line); the second a table per station.
// Drawn with QPainter on QtGui alone: it needs a QGuiApplication but no display (the offscreen
// platform).
namespace YieldReportPdf {

// What the pages show: the window's figures, and the same window by day and by station.
struct Contents
{
    ReportFigures figures;
    QList<ReportGroup> days;
    QList<ReportGroup> stations;
};

// Runs the report's queries for query (its grouping aside); nothing on failure, with the
// reason in report.errorText().
std::optional<Contents> collect(YieldReport &report, const ReportQuery &query);
// Writes the PDF to path; false with the reason in error.
bool write(const Contents &contents, const QString &path, QString *error);

} // namespace YieldReportPdf
