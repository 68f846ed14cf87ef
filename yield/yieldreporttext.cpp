#include "yield/yieldreporttext.h"

#include "store/recordtext.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>

namespace {

constexpr int BarWidth = 40; // characters of the longest Pareto bar

QString timeText(const QDateTime &time)
{
    const QDateTime utc = time.toUTC();
    return utc.toString(utc.time().second() == 0 && utc.time().msec() == 0
                            ? QStringLiteral("yyyy-MM-dd HH:mm")
                            : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// A bar of length/BarWidth of the line, in eighths of a character.
QString bar(qint64 value, qint64 longest)
{
    static const QString eighths = QStringLiteral(" ▏▎▍▌▋▊▉");
    const auto units =
        longest == 0 ? 0 : qint64(double(value) * BarWidth * 8 / double(longest) + 0.5);
    QString text(units / 8, QChar(0x2588));
    if (units % 8 != 0)
        text += eighths.at(units % 8);
    return text.leftJustified(BarWidth);
}

QString number(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString csvLine(const QStringList &fields)
{
    return fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QString yieldField(std::optional<double> yield)
{
    return yield ? number(*yield) : QString();
}

// Columns left-aligned (the first) or right-aligned (the others), two spaces apart.
QString table(const QList<QStringList> &rows)
{
    QList<qsizetype> widths;
    for (const QStringList &row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (qsizetype column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    }
    QString text;
    for (const QStringList &row : rows) {
        QString line = QStringLiteral("  ");
        for (qsizetype column = 0; column < row.size(); ++column) {
            if (column > 0)
                line += QStringLiteral("  ");
            line += column == 0 ? row[column].leftJustified(widths[column])
                                : row[column].rightJustified(widths[column]);
        }
        text += line.trimmed().prepend(QStringLiteral("  ")) + QLatin1Char('\n');
    }
    return text;
}

} // namespace

QString YieldReportText::windowText(const ReportQuery &query)
{
    return QStringLiteral("%1 to %2 UTC").arg(timeText(query.from), timeText(query.to));
}

QString YieldReportText::filterText(const ReportQuery &query)
{
    QStringList filters;
    if (!query.station.isEmpty())
        filters.append(QStringLiteral("station ") + query.station);
    if (!query.model.isEmpty())
        filters.append(QStringLiteral("model ") + query.model);
    if (!query.lot.isEmpty())
        filters.append(QStringLiteral("lot ") + query.lot);
    if (!query.plan.isEmpty())
        filters.append(QStringLiteral("plan ") + query.plan);
    if (!query.operatorName.isEmpty())
        filters.append(QStringLiteral("operator ") + query.operatorName);
    return filters.join(QLatin1String(", "));
}

QString YieldReportText::secondsText(std::optional<qint64> milliseconds)
{
    return milliseconds
               ? QString::number(double(*milliseconds) / 1000.0, 'f', 2) + QStringLiteral(" s")
               : QStringLiteral("–");
}

QString YieldReportText::attemptsText(const ReportFigures::Attempts &attempts)
{
    QStringList parts;
    for (int index = 0; index < ReportFigures::Attempts::Counted; ++index)
        parts.append(QStringLiteral("%1%2 %3")
                         .arg(index + 1)
                         .arg(index + 1 == ReportFigures::Attempts::Counted ? QStringLiteral("+")
                                                                            : QString())
                         .arg(attempts.passedOn.at(index)));
    parts.append(QStringLiteral("not passed %1").arg(attempts.notPassed));
    return parts.join(QLatin1String(", "));
}

QString YieldReportText::render(const ReportFigures &figures)
{
    QString text = QStringLiteral("Yield, %1\n").arg(windowText(figures.query));
    if (const QString filters = filterText(figures.query); !filters.isEmpty())
        text += QStringLiteral("Only %1\n").arg(filters);
    text += QLatin1Char('\n');
    QList<QStringList> headline{
        {QStringLiteral("Checkouts"), QString::number(figures.checkouts),
         QStringLiteral("pass %1, fail %2, error %3, aborted %4, refused %5")
             .arg(figures.passed)
             .arg(figures.failed)
             .arg(figures.errors)
             .arg(figures.aborted)
             .arg(figures.refused)},
        {QStringLiteral("Readers"), QString::number(figures.readers),
         QStringLiteral("%1 retested, %2 first checked")
             .arg(figures.retestedReaders)
             .arg(figures.firstChecked)},
        {QStringLiteral("First-pass yield"), yieldPercent(figures.firstPassYield())},
        {QStringLiteral("Final yield"), yieldPercent(figures.finalYield())},
        {QStringLiteral("By attempt"), YieldReportText::attemptsText(figures.attempts)},
        {QStringLiteral("Repairs"), QString::number(figures.repairs),
         QStringLiteral("%1 %2, %3 passed since")
             .arg(figures.repairedReaders)
             .arg(figures.repairedReaders == 1 ? QStringLiteral("reader")
                                               : QStringLiteral("readers"))
             .arg(figures.passedAfterRepair)},
        {QStringLiteral("Duration"),
         QStringLiteral("median %1, 95th percentile %2")
             .arg(secondsText(figures.medianDurationMs), secondsText(figures.p95DurationMs))},
        {QStringLiteral("Throughput"),
         QStringLiteral("%1 checkouts an hour (over %2 %3 with checkouts)")
             .arg(QString::number(figures.throughputPerHour(), 'f', 1))
             .arg(figures.hoursWithCheckouts)
             .arg(figures.hoursWithCheckouts == 1 ? QStringLiteral("hour")
                                                  : QStringLiteral("hours"))},
    };
    if (figures.unidentified > 0)
        headline.insert(2, {QStringLiteral("Unidentified"), QString::number(figures.unidentified),
                            QStringLiteral("never told a serial number: in the failing steps, "
                                           "not in the readers")});
    qsizetype labelWidth = 0;
    for (const QStringList &row : headline)
        labelWidth = std::max(labelWidth, row.first().size());
    for (const QStringList &row : headline) {
        QString line = row.first().leftJustified(labelWidth + 2) + row.at(1);
        if (row.size() > 2)
            line += QStringLiteral("  (%1)").arg(row.at(2));
        text += line + QLatin1Char('\n');
    }

    const bool causes = figures.query.paretoOfCauses;
    const QList<ParetoStep> &bars = causes ? figures.causes : figures.pareto;
    const QString title =
        causes ? QStringLiteral("Repair causes") : QStringLiteral("Failing steps");
    if (bars.isEmpty()) {
        text += QStringLiteral("\n%1: none\n").arg(title);
    } else {
        text += QStringLiteral("\n%1\n").arg(title);
        QList<QStringList> rows;
        for (const ParetoStep &step : bars)
            rows.append({step.step.isEmpty() ? QStringLiteral("(not given)") : step.step,
                         bar(step.failures, bars.first().failures), QString::number(step.failures),
                         yieldPercent(step.share), yieldPercent(step.cumulative)});
        text += table(rows);
    }

    if (figures.query.by != ReportGrouping::None) {
        const QString by = reportGroupingName(figures.query.by);
        text += QStringLiteral("\nBy %1\n").arg(by);
        QList<QStringList> rows{{by, QStringLiteral("checkouts"), QStringLiteral("readers"),
                                 QStringLiteral("first-pass"), QStringLiteral("final")}};
        for (const ReportGroup &group : figures.groups)
            rows.append({group.key.isEmpty() ? QStringLiteral("(none)") : group.key,
                         QString::number(group.checkouts), QString::number(group.readers),
                         yieldPercent(group.firstPassYield()), yieldPercent(group.finalYield())});
        text += table(rows);
    }
    return text;
}

QString YieldReportText::csv(const ReportFigures &figures)
{
    QString text;
    // The readers first checked in the window by the attempt they passed on: one line after
    // the table, "attempts,1st,2nd,3rd or later,not passed".
    QStringList attempts{QStringLiteral("attempts")};
    for (const qint64 readers : figures.attempts.passedOn)
        attempts.append(QString::number(readers));
    attempts.append(QString::number(figures.attempts.notPassed));
    if (figures.query.by == ReportGrouping::None) {
        const bool causes = figures.query.paretoOfCauses;
        text = causes ? QStringLiteral("cause,repairs,share,cumulative\r\n")
                      : QStringLiteral("step,failures,share,cumulative\r\n");
        for (const ParetoStep &step : causes ? figures.causes : figures.pareto)
            text += csvLine({RecordText::csvField(step.step), QString::number(step.failures),
                             number(step.share), number(step.cumulative)});
        return text + csvLine(attempts);
    }
    // The first column is named after what the rows are: day, station, lot...
    text = QStringLiteral("%1,checkouts,readers,first_pass_yield,final_yield\r\n")
               .arg(reportGroupingName(figures.query.by));
    for (const ReportGroup &group : figures.groups)
        text += csvLine({RecordText::csvField(group.key), QString::number(group.checkouts),
                         QString::number(group.readers), yieldField(group.firstPassYield()),
                         yieldField(group.finalYield())});
    return text + csvLine(attempts);
}
