#include "documents/yieldreportpdf.h"

#include "yield/yieldreporttext.h"

#include <QFile>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Pixels of QPainter on the page: at 96 dpi a point of a font is what it is on screen.
constexpr int Resolution = 96;
constexpr qreal Gap = 12;
constexpr int FewDays = 3; // a yield chart of this many days or fewer shows bars

const QColor Ink(0x21, 0x25, 0x29);
const QColor Muted(0x6c, 0x75, 0x7d);
const QColor Rule(0xd0, 0xd4, 0xd9);
const QColor TileFill(0xf1, 0xf3, 0xf5);
const QColor FirstPassColour(0x1f, 0x5f, 0xb4);
const QColor FinalColour(0x1a, 0x7f, 0x37);
const QColor FailureColour(0xc6, 0x28, 0x28);

QFont font(qreal points, bool bold = false)
{
    QFont face(QStringLiteral("Liberation Sans"));
    face.setPointSizeF(points);
    face.setBold(bold);
    return face;
}

// Writes text in the font at the top left of area; returns the height it took.
qreal drawLine(QPainter &painter, const QRectF &area, const QString &text, const QFont &face,
               const QColor &colour = Ink, Qt::Alignment alignment = Qt::AlignLeft)
{
    painter.setFont(face);
    painter.setPen(colour);
    const qreal height = QFontMetricsF(face).height();
    painter.drawText(QRectF(area.left(), area.top(), area.width(), height),
                     alignment | Qt::AlignVCenter, text);
    return height;
}

qreal drawHeading(QPainter &painter, const QRectF &area, const QString &text)
{
    return drawLine(painter, area, text, font(12, true)) + 6;
}

void drawNothing(QPainter &painter, const QRectF &plot, const QString &text)
{
    painter.setPen(QPen(Rule, 1));
    painter.drawRect(plot);
    painter.setFont(font(10));
    painter.setPen(Muted);
    painter.drawText(plot, Qt::AlignCenter, text);
}

// The headline figures as tiles, four to a row; returns the height taken.
qreal drawTiles(QPainter &painter, const QRectF &area, const ReportFigures &figures)
{
    const QList<std::pair<QString, QString>> tiles{
        {QString::number(figures.checkouts), QStringLiteral("Checkouts")},
        {QString::number(figures.readers), QStringLiteral("Readers")},
        {yieldPercent(figures.firstPassYield()), QStringLiteral("First-pass yield")},
        {yieldPercent(figures.finalYield()), QStringLiteral("Final yield")},
        {QString::number(figures.retestedReaders), QStringLiteral("Readers retested")},
        {YieldReportText::secondsText(figures.medianDurationMs), QStringLiteral("Median checkout")},
        {YieldReportText::secondsText(figures.p95DurationMs),
         QStringLiteral("95th percentile checkout")},
        {QString::number(figures.throughputPerHour(), 'f', 1), QStringLiteral("Checkouts an hour")},
    };
    constexpr int PerRow = 4;
    constexpr qreal TileHeight = 58;
    const qreal width = (area.width() - Gap * (PerRow - 1)) / PerRow;
    for (qsizetype index = 0; index < tiles.size(); ++index) {
        const QRectF tile(area.left() + qreal(index % PerRow) * (width + Gap),
                          area.top() + qreal(index / PerRow) * (TileHeight + Gap), width,
                          TileHeight);
        painter.setPen(Qt::NoPen);
        painter.setBrush(TileFill);
        painter.drawRoundedRect(tile, 4, 4);
        painter.setBrush(Qt::NoBrush);
        const QRectF inside = tile.adjusted(10, 8, -10, -8);
        const qreal valueHeight = drawLine(painter, inside, tiles[index].first, font(17, true));
        drawLine(painter, inside.adjusted(0, valueHeight + 2, 0, 0), tiles[index].second, font(8.5),
                 Muted);
    }
    const auto rows = (tiles.size() + PerRow - 1) / PerRow;
    return qreal(rows) * TileHeight + qreal(rows - 1) * Gap;
}

// Horizontal grid lines with their labels at the left (or right) of plot, for values 0 to 1
// of the axis from lower to upper.
void drawGrid(QPainter &painter, const QRectF &plot, const QList<std::pair<qreal, QString>> &ticks,
              bool labelsRight = false)
{
    painter.setFont(font(8));
    for (const auto &[fraction, label] : ticks) {
        const qreal y = plot.bottom() - fraction * plot.height();
        if (!labelsRight) {
            painter.setPen(QPen(Rule, 0.8));
            painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        }
        painter.setPen(Muted);
        const QRectF box = labelsRight ? QRectF(plot.right() + 4, y - 8, 40, 16)
                                       : QRectF(plot.left() - 44, y - 8, 40, 16);
        painter.drawText(box, (labelsRight ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter,
                         label);
    }
}

void drawLegend(QPainter &painter, QPointF at, const QList<std::pair<QColor, QString>> &entries)
{
    painter.setFont(font(8.5));
    const QFontMetricsF metrics(painter.font());
    for (const auto &[colour, label] : entries) {
        painter.setPen(QPen(colour, 2.5));
        painter.drawLine(at + QPointF(0, 0), at + QPointF(16, 0));
        painter.setPen(Ink);
        painter.drawText(at + QPointF(20, metrics.ascent() / 2 - 1), label);
        at.rx() += 20 + metrics.horizontalAdvance(label) + 16;
    }
}

// Each day's first-pass and final yield as two bars side by side, on an axis from 0 to
// 100 %, each with its figure above it.
void drawYieldBars(QPainter &painter, const QRectF &plot, const QList<ReportGroup> &days)
{
    const qreal slot = plot.width() / qreal(days.size());
    const qreal barWidth = std::min(slot / 4, qreal(60));
    painter.setFont(font(8));
    for (qsizetype index = 0; index < days.size(); ++index) {
        const qreal middle = plot.left() + (qreal(index) + 0.5) * slot;
        const std::array<std::pair<QColor, std::optional<double>>, 2> bars{
            {{FirstPassColour, days[index].firstPassYield()},
             {FinalColour, days[index].finalYield()}}};
        for (std::size_t which = 0; which < bars.size(); ++which) {
            const auto &[colour, yield] = bars[which];
            if (!yield)
                continue;
            const qreal left = middle - barWidth + qreal(which) * barWidth;
            const qreal top = plot.bottom() - *yield * plot.height();
            painter.fillRect(QRectF(left + 2, top, barWidth - 4, plot.bottom() - top), colour);
            painter.setPen(Ink);
            painter.drawText(QRectF(left - 10, top - 16, barWidth + 20, 14), Qt::AlignCenter,
                             yieldPercent(*yield));
        }
    }
}

// First-pass and final yield of each day as two lines over the days, on an axis from the
// lowest tenth a yield reaches to 100 %; bars for a few days.
void drawYieldChart(QPainter &painter, const QRectF &area, const QList<ReportGroup> &days)
{
    const qreal top = area.top() + drawHeading(painter, area, QStringLiteral("Yield per day"));
    drawLegend(painter, QPointF(area.right() - 230, area.top() + 10),
               {{FirstPassColour, QStringLiteral("first-pass yield")},
                {FinalColour, QStringLiteral("final yield")}});
    const QRectF plot(area.left() + 48, top + 6, area.width() - 56, area.bottom() - top - 34);
    double lowest = 1.0;
    for (const ReportGroup &day : days) {
        for (const std::optional<double> yield : {day.firstPassYield(), day.finalYield()}) {
            if (yield)
                lowest = std::min(lowest, *yield);
        }
    }
    if (std::none_of(days.cbegin(), days.cend(),
                     [](const ReportGroup &day) { return day.readers > 0; })) {
        drawNothing(painter, plot, QStringLiteral("No reader was checked in this window"));
        return;
    }
    // A day or three are bars on an axis from 0: two dots alone in a frame read as no chart.
    const bool fewDays = days.size() <= FewDays;
    const double lower = fewDays ? 0.0 : std::clamp(std::floor(lowest * 10.0) / 10.0, 0.0, 0.9);
    QList<std::pair<qreal, QString>> ticks;
    for (int tenth = int(std::lround(lower * 10)); tenth <= 10; tenth += fewDays ? 2 : 1)
        ticks.append(
            {(tenth / 10.0 - lower) / (1.0 - lower), QStringLiteral("%1 %").arg(tenth * 10)});
    drawGrid(painter, plot, ticks);

    const auto count = days.size();
    const auto x = [&](qsizetype index) {
        return plot.left() + (qreal(index) + 0.5) * plot.width() / qreal(count);
    };
    const auto y = [&](double yield) {
        return plot.bottom() - (yield - lower) / (1.0 - lower) * plot.height();
    };
    painter.setFont(font(8));
    painter.setPen(Muted);
    const qsizetype every = std::max<qsizetype>(1, (count + 11) / 12);
    for (qsizetype index = 0; index < count; index += every)
        painter.drawText(QRectF(x(index) - 30, plot.bottom() + 4, 60, 16), Qt::AlignCenter,
                         days[index].key.mid(5));
    if (fewDays) {
        drawYieldBars(painter, plot, days);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    for (const auto &[colour, yieldOf] : {std::pair{FirstPassColour, &ReportGroup::firstPassYield},
                                          std::pair{FinalColour, &ReportGroup::finalYield}}) {
        QPainterPath line;
        bool drawing = false;
        for (qsizetype index = 0; index < count; ++index) {
            const std::optional<double> yield = (days[index].*yieldOf)();
            if (!yield) {
                drawing = false;
                continue;
            }
            const QPointF point(x(index), y(*yield));
            drawing ? line.lineTo(point) : line.moveTo(point);
            drawing = true;
        }
        painter.setPen(QPen(colour, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(line);
        painter.setBrush(colour);
        for (qsizetype index = 0; index < count; ++index) {
            if (const std::optional<double> yield = (days[index].*yieldOf)())
                painter.drawEllipse(QPointF(x(index), y(*yield)), 3, 3);
        }
    }
    painter.setBrush(Qt::NoBrush);
    painter.setRenderHint(QPainter::Antialiasing, false);
}

// A step for about five lines up to most: 1, 2 or 5 times a power of ten.
qint64 roundStep(qint64 most)
{
    for (qint64 power = 1;; power *= 10) {
        for (const qint64 factor : {1, 2, 5}) {
            if (power * factor * 5 >= most)
                return power * factor;
        }
    }
}

// The failures of each step as bars, most first, with the cumulative share as a line on an
// axis of its own at the right.
// The Pareto of the failing steps, or with causes that of the repairs' causes.
void drawPareto(QPainter &painter, const QRectF &area, QList<ParetoStep> steps, bool causes)
{
    const qreal top = area.top() + drawHeading(painter, area,
                                               causes ? QStringLiteral("Repair causes (Pareto)")
                                                      : QStringLiteral("Failing steps (Pareto)"));
    drawLegend(painter, QPointF(area.right() - 250, area.top() + 10),
               {{FailureColour, causes ? QStringLiteral("repairs") : QStringLiteral("failures")},
                {Ink, QStringLiteral("cumulative share")}});
    const QRectF plot(area.left() + 48, top + 18, area.width() - 96, area.bottom() - top - 64);
    if (steps.isEmpty()) {
        drawNothing(painter, plot,
                    causes ? QStringLiteral("No repair in this window")
                           : QStringLiteral("No step failed in this window"));
        return;
    }
    for (ParetoStep &each : steps) {
        if (each.step.isEmpty())
            each.step = QStringLiteral("(not given)");
    }
    const qint64 most = steps.first().failures;
    const qint64 step = roundStep(most);
    QList<std::pair<qreal, QString>> counts;
    for (qint64 value = 0; value <= most; value += step)
        counts.append({qreal(value) / qreal(most), QString::number(value)});
    drawGrid(painter, plot, counts);
    QList<std::pair<qreal, QString>> shares;
    for (int quarter = 0; quarter <= 4; ++quarter)
        shares.append({quarter / 4.0, QStringLiteral("%1 %").arg(quarter * 25)});
    drawGrid(painter, plot, shares, true);

    const auto count = steps.size();
    const qreal slot = plot.width() / qreal(count);
    const QFontMetricsF labels(font(8));
    qreal widest = 0;
    for (const ParetoStep &each : steps)
        widest = std::max(widest, labels.horizontalAdvance(each.step));
    QPainterPath cumulative;
    for (qsizetype index = 0; index < count; ++index) {
        const ParetoStep &each = steps[index];
        const qreal centre = plot.left() + (qreal(index) + 0.5) * slot;
        const qreal height = qreal(each.failures) / qreal(most) * plot.height();
        const qreal width = std::min(slot * 0.6, 64.0);
        const QRectF bar(centre - width / 2, plot.bottom() - height, width, height);
        painter.fillRect(bar, FailureColour);
        painter.setFont(font(8));
        if (widest <= slot - 4) {
            painter.drawText(QRectF(centre - slot / 2, plot.bottom() + 4, slot, 16),
                             Qt::AlignCenter, each.step);
        } else {
            // Names too long for their bars' width stand at a slant.
            painter.save();
            painter.translate(centre + 4, plot.bottom() + 6);
            painter.rotate(-30);
            painter.drawText(QRectF(-widest, -8, widest, 16), Qt::AlignRight | Qt::AlignVCenter,
                             each.step);
            painter.restore();
        }
        const QPointF point(centre, plot.bottom() - each.cumulative * plot.height());
        index == 0 ? cumulative.moveTo(point) : cumulative.lineTo(point);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Ink, 1.8));
    painter.drawPath(cumulative);
    painter.setBrush(Ink);
    for (qsizetype index = 0; index < count; ++index)
        painter.drawEllipse(QPointF(plot.left() + (qreal(index) + 0.5) * slot,
                                    plot.bottom() - steps[index].cumulative * plot.height()),
                            2.5, 2.5);
    painter.setBrush(Qt::NoBrush);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // The counts over the line: inside the top of each bar, or above one too short to hold it.
    painter.setFont(font(8, true));
    for (qsizetype index = 0; index < count; ++index) {
        const qreal centre = plot.left() + (qreal(index) + 0.5) * slot;
        const qreal top =
            plot.bottom() - qreal(steps[index].failures) / qreal(most) * plot.height();
        const bool inside = plot.bottom() - top > 20;
        painter.setPen(inside ? QColor(Qt::white) : Ink);
        painter.drawText(QRectF(centre - 30, inside ? top + 3 : top - 15, 60, 14), Qt::AlignCenter,
                         QString::number(steps[index].failures));
    }
}

// The groups as a table under a heading, as many rows as fit in area; returns the height
// taken.
// A table under its heading: the first column left-aligned, the others right-aligned, between
// the stops (fractions of the width); rows that do not fit are told as "and N more".
qreal drawTable(QPainter &painter, const QRectF &area, const QString &heading,
                const QList<qreal> &stops, const QStringList &header,
                const QList<QStringList> &rows)
{
    qreal y = area.top() + drawHeading(painter, area, heading);
    constexpr qreal RowHeight = 20;
    const auto drawRow = [&](const QStringList &cells, const QFont &face) {
        painter.setFont(face);
        painter.setPen(Ink);
        for (qsizetype column = 0; column < cells.size(); ++column) {
            const QRectF cell(area.left() + stops[column] * area.width() + 4, y,
                              (stops[column + 1] - stops[column]) * area.width() - 8, RowHeight);
            painter.drawText(cell,
                             (column == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter,
                             cells[column]);
        }
        y += RowHeight;
        painter.setPen(QPen(Rule, 0.8));
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    };
    drawRow(header, font(9, true));
    if (rows.isEmpty()) {
        drawLine(painter, QRectF(area.left() + 4, y + 4, area.width(), RowHeight),
                 QStringLiteral("No checkouts in this window"), font(9), Muted);
        y += RowHeight + 4;
    }
    for (qsizetype index = 0; index < rows.size(); ++index) {
        if (y + RowHeight * 2 > area.bottom() && index + 1 < rows.size()) {
            drawLine(painter, QRectF(area.left() + 4, y + 4, area.width(), RowHeight),
                     QStringLiteral("and %1 more").arg(rows.size() - index), font(9), Muted);
            y += RowHeight + 4;
            break;
        }
        drawRow(rows[index], font(9));
    }
    return y - area.top();
}

qreal drawGroups(QPainter &painter, const QRectF &area, const QString &heading,
                 const QString &keyName, const QList<ReportGroup> &groups)
{
    QList<QStringList> rows;
    for (const ReportGroup &group : groups)
        rows.append({group.key.isEmpty() ? QStringLiteral("(none)") : group.key,
                     QString::number(group.checkouts), QString::number(group.readers),
                     yieldPercent(group.firstPassYield()), yieldPercent(group.finalYield())});
    return drawTable(painter, area, heading, {0.0, 0.40, 0.55, 0.70, 0.85, 1.0},
                     {keyName, QStringLiteral("Checkouts"), QStringLiteral("Readers"),
                      QStringLiteral("First-pass yield"), QStringLiteral("Final yield")},
                     rows);
}

// The readers first checked in the window by the attempt on which they passed.
qreal drawAttempts(QPainter &painter, const QRectF &area, const ReportFigures &figures)
{
    const ReportFigures::Attempts &attempts = figures.attempts;
    QList<QStringList> rows;
    const auto row = [&](const QString &label, qint64 readers) {
        rows.append(
            {label, QString::number(readers),
             yieldPercent(figures.firstChecked == 0
                              ? std::nullopt
                              : std::optional(double(readers) / double(figures.firstChecked)))});
    };
    for (int index = 0; index < ReportFigures::Attempts::Counted; ++index)
        row(index + 1 == ReportFigures::Attempts::Counted
                ? QStringLiteral("Passed on attempt %1 or later").arg(index + 1)
                : QStringLiteral("Passed on attempt %1").arg(index + 1),
            attempts.passedOn.at(index));
    row(QStringLiteral("Not passed yet"), attempts.notPassed);
    return drawTable(
        painter, area, QStringLiteral("By attempt (readers first checked in the window)"),
        {0.0, 0.55, 0.70, 0.85}, {QString(), QStringLiteral("Readers"), QStringLiteral("Share")},
        figures.firstChecked == 0 ? QList<QStringList>() : rows);
}

void drawFooter(QPainter &painter, const QRectF &page, int number)
{
    drawLine(painter, QRectF(page.left(), page.bottom() - 14, page.width(), 14),
             QStringLiteral("vorn-tool yield report · page %1 of 2").arg(number), font(8), Muted,
             Qt::AlignRight);
}

} // namespace

std::optional<YieldReportPdf::Contents> YieldReportPdf::collect(YieldReport &report,
                                                                const ReportQuery &query)
{
    ReportQuery byDay = query;
    byDay.by = ReportGrouping::Day;
    ReportQuery byStation = query;
    byStation.by = ReportGrouping::Station;
    const std::optional<ReportFigures> days = report.run(byDay);
    const std::optional<ReportFigures> stations = days ? report.run(byStation) : std::nullopt;
    if (!stations)
        return std::nullopt;
    Contents contents{*days, days->groups, stations->groups};
    contents.figures.query.by = query.by;
    contents.figures.groups.clear();
    return contents;
}

bool YieldReportPdf::write(const Contents &contents, const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    const ReportFigures &figures = contents.figures;
    QPdfWriter writer(&file);
    writer.setTitle(
        QStringLiteral("Yield report %1").arg(YieldReportText::windowText(figures.query)));
    writer.setCreator(QStringLiteral("vorn-tool"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setResolution(Resolution);
    {
        QPainter painter(&writer);
        const QRectF page(QPointF(0, 0), writer.pageLayout().paintRectPixels(Resolution).size());
        qreal y = page.top();
        y += drawLine(painter, page, QStringLiteral("Yield report"), font(20, true));
        y += drawLine(painter, page.adjusted(0, y, 0, 0),
                      YieldReportText::windowText(figures.query), font(11));
        const QString filters = YieldReportText::filterText(figures.query);
        y += drawLine(painter, page.adjusted(0, y, 0, 0),
                      filters.isEmpty() ? QStringLiteral("All stations, models, lots and operators")
                                        : QStringLiteral("Only ") + filters,
                      font(9.5), Muted);
        y += Gap;
        y += drawTiles(painter, page.adjusted(0, y, 0, 0), figures) + 8;
        y += drawLine(painter, page.adjusted(0, y, 0, 0),
                      QStringLiteral("Outcomes: pass %1 · fail %2 · error %3 · aborted %4 · "
                                     "refused %5    Repairs: %6 of %7 readers, %8 passed since")
                          .arg(figures.passed)
                          .arg(figures.failed)
                          .arg(figures.errors)
                          .arg(figures.aborted)
                          .arg(figures.refused)
                          .arg(figures.repairs)
                          .arg(figures.repairedReaders)
                          .arg(figures.passedAfterRepair),
                      font(9.5), Muted);
        y += Gap * 2;
        const qreal chartHeight = (page.bottom() - 24 - y - Gap * 2) / 2;
        drawYieldChart(painter, QRectF(page.left(), y, page.width(), chartHeight), contents.days);
        y += chartHeight + Gap * 2;
        drawPareto(painter, QRectF(page.left(), y, page.width(), chartHeight),
                   figures.query.paretoOfCauses ? figures.causes : figures.pareto,
                   figures.query.paretoOfCauses);
        drawFooter(painter, page, 1);

        writer.newPage();
        y = page.top();
        const QRectF above = page.adjusted(0, 0, 0, -24);
        y += drawAttempts(painter, above.adjusted(0, y, 0, 0), figures) + Gap * 2;
        y +=
            drawGroups(painter, above.adjusted(0, y, 0, -above.height() / 2),
                       QStringLiteral("By station"), QStringLiteral("Station"), contents.stations) +
            Gap * 2;
        drawGroups(painter, above.adjusted(0, y, 0, 0), QStringLiteral("By day (UTC)"),
                   QStringLiteral("Day"), contents.days);
        drawFooter(painter, page, 2);
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
