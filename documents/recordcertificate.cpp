#include "documents/recordcertificate.h"

#include "checkout/measurementsentences.h"
#include "checkout/measurementtitles.h"
#include "documents/pageddocument.h"

#include <QBuffer>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <functional>

namespace {

QString cell(const QString &text)
{
    return QStringLiteral("<td>%1</td>").arg(text.toHtmlEscaped());
}

QString verdictColour(ReaderOutcome outcome)
{
    return outcome == ReaderOutcome::Pass ? QStringLiteral("#1a7f37") : QStringLiteral("#c62828");
}

QString orDash(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("–") : text;
}

// The title in words, and the name the data carries beside it for those who look it up.
QString titleCell(const Measurement &measurement)
{
    return QStringLiteral("<td>%1 <span style=\"color: #555555\">(%2)</span></td>")
        .arg(MeasurementTitles::title(measurement.name).toHtmlEscaped(),
             measurement.name.toHtmlEscaped());
}

// The rows of one step in the steps' table, each a <tr>.
QStringList stepRows(const StepRecord &step)
{
    // A step with measurements shows each on a line of its own, with its limit; a record kept
    // before measurements existed shows its text.
    QStringList rows{QStringLiteral("<tr>") + cell(step.name) + cell(outcomeName(step.outcome)) +
                     (step.measurements.isEmpty()
                          ? cell(step.measured) + cell(step.limits) + cell({})
                          : QStringLiteral("<td></td><td></td><td></td>")) +
                     QStringLiteral("</tr>")};
    // Why a step did not pass: which slot, which byte, why it was not run.
    if (step.outcome != StepOutcome::Pass && !step.message.isEmpty())
        rows.append(QStringLiteral("<tr><td></td><td colspan=\"4\"><i>%1</i></td></tr>")
                        .arg(MeasurementSentences::stepText(step).toHtmlEscaped()));
    for (const Measurement &measurement : step.measurements)
        rows.append(QStringLiteral("<tr><td></td>") + titleCell(measurement) +
                    cell(measurement.valueText()) + cell(orDash(measurement.limitText())) +
                    cell(measurement.outcomeName()) + QStringLiteral("</tr>"));
    return rows;
}

// The steps' table, begun again under its header row before each row in breaks (counted from
// 0), the page begun there too; its columns as wide on every page.
QString stepsTable(const ReaderRecord &record, const QList<int> &breaks)
{
    const auto opening = [](bool newPage) {
        return QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" "
                              "width=\"100%\"%1><thead><tr>"
                              "<th align=\"left\" width=\"15%\">Step</th>"
                              "<th align=\"left\" width=\"43%\">Outcome / measurement</th>"
                              "<th align=\"left\" width=\"15%\">Measured</th>"
                              "<th align=\"left\" width=\"17%\">Limit</th>"
                              "<th align=\"left\" width=\"10%\">Result</th></tr></thead>")
            .arg(newPage ? QStringLiteral(" style=\"page-break-before: always\"") : QString());
    };
    QString table = opening(false);
    int row = 0;
    for (const StepRecord &step : record.steps) {
        for (const QString &each : stepRows(step)) {
            if (breaks.contains(row++))
                table += QStringLiteral("</table>") + opening(true);
            table += each;
        }
    }
    return table + QStringLiteral("</table>");
}

// A checkout that never reached the reader (its port did not open, or it never answered)
// changed nothing on it: there was nothing to put back.
bool reachedReader(const ReaderRecord &record)
{
    return std::any_of(record.steps.cbegin(), record.steps.cend(),
                       [](const StepRecord &step) { return !step.measurements.isEmpty(); });
}

QString restoredText(const ReaderRecord &record)
{
    if (!reachedReader(record))
        return QStringLiteral("Nothing was changed on the reader: the checkout never reached it.");
    return record.restored
               ? QStringLiteral("The reader's selected slot and clocks were put back as found.")
               : QStringLiteral("The reader's selected slot and clocks were not put back as "
                                "found.");
}

// Why a step did not pass, in words: its message, else the measurements outside their limits.
QString reasonText(const StepRecord &step)
{
    if (!step.message.isEmpty())
        return step.message;
    QStringList titles;
    for (const QString &name : step.failedMeasurements())
        titles.append(MeasurementTitles::title(name));
    return titles.isEmpty()
               ? QString()
               : QStringLiteral("outside its limit: ") + titles.join(QStringLiteral(", "));
}

// The steps of one outcome as a list, each with its reason; nothing when there are none.
QString stepList(const ReaderRecord &record, const QString &heading,
                 const std::function<bool(const StepRecord &)> &included)
{
    QString items;
    for (const StepRecord &step : record.steps) {
        if (!included(step))
            continue;
        const QString reason = reasonText(step);
        items +=
            QStringLiteral("<li><b>%1</b>%2</li>")
                .arg(step.name.toHtmlEscaped(),
                     reason.isEmpty() ? QString() : QStringLiteral(": ") + reason.toHtmlEscaped());
    }
    if (items.isEmpty())
        return {};
    return QStringLiteral("<p style=\"margin-top: 6px\"><b>%1</b></p><ul style=\"margin-top: "
                          "0px\">%2</ul>")
        .arg(heading, items);
}

// The verdict in words and, under it, what made it: the steps that failed and why, what was
// not performed, why a reader was refused, and the repair it passed after.
QString verdictBox(const ReaderRecord &record, const std::optional<RepairRecord> &repair)
{
    QString inside = QStringLiteral("<p style=\"font-size: 18pt\">Verdict: "
                                    "<b style=\"color: %1\">%2</b></p>")
                         .arg(verdictColour(record.outcome), outcomeName(record.outcome).toUpper());
    if (record.outcome == ReaderOutcome::Refused && !record.refusal.isEmpty())
        inside += QStringLiteral("<p>Refused: %1</p>").arg(record.refusal.toHtmlEscaped());
    inside += stepList(record, QStringLiteral("Failed steps"), [](const StepRecord &step) {
        return step.outcome == StepOutcome::Fail || step.outcome == StepOutcome::Error;
    });
    inside += stepList(record, QStringLiteral("Not performed"),
                       [](const StepRecord &step) { return step.outcome == StepOutcome::Skip; });
    // The repair this checkout retested, or the one that answered its failure since.
    if (repair)
        inside += QStringLiteral("<p style=\"margin-top: 6px\"><b>%1:</b> %2; "
                                 "symptom: %3 (repair %4)</p>")
                      .arg(repair->checkoutId == record.id ? QStringLiteral("Repaired since")
                                                           : QStringLiteral("After repair"),
                           repair->text().toHtmlEscaped(), repair->symptom.toHtmlEscaped(),
                           repair->id.toHtmlEscaped());
    inside += QStringLiteral("<p style=\"margin-top: 6px\">%1</p>")
                  .arg(restoredText(record).toHtmlEscaped());
    return QStringLiteral("<table border=\"2\" cellspacing=\"0\" cellpadding=\"8\" "
                          "width=\"100%\" style=\"border-color: %1\"><tr><td>%2</td></tr>"
                          "</table>")
        .arg(verdictColour(record.outcome), inside);
}

// The certificate's text, its steps' table begun on a new page before each row in breaks.
QString pagedHtml(const ReaderRecord &record, const std::optional<RepairRecord> &repair,
                  const QString &keptHash, const QList<int> &breaks)
{
    const QString firmware =
        record.firmware ? QString::number(*record.firmware) : QStringLiteral("–");
    const auto fact = [](const QString &label, const QString &value) {
        return QStringLiteral("<tr><td><b>%1</b></td>").arg(label) + cell(value) +
               QStringLiteral("</tr>");
    };
    const QString facts =
        fact(QStringLiteral("Reader"),
             QStringLiteral("%1, serial number %2, firmware %3")
                 .arg(orDash(record.modelName()), orDash(record.serialText()), firmware)) +
        fact(QStringLiteral("Station"),
             QStringLiteral("%1 (port %2)").arg(orDash(record.station), record.port)) +
        fact(QStringLiteral("Operator"), orDash(record.operatorName)) +
        fact(QStringLiteral("Lot"), orDash(record.lot)) +
        fact(QStringLiteral("Plan"), orDash(record.plan.text())) +
        fact(QStringLiteral("Tool"),
             orDash(QStringLiteral("%1 %2").arg(record.tool, record.toolVersion).trimmed())) +
        fact(QStringLiteral("Date"),
             record.started.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                 QStringLiteral(" UTC")) +
        fact(QStringLiteral("Duration"),
             QString::number(double(record.durationMs) / 1000.0, 'f', 2) + QStringLiteral(" s")) +
        fact(QStringLiteral("Record"), record.id) +
        (keptHash.isEmpty() ? QString() : fact(QStringLiteral("Record hash"), keptHash));
    return QStringLiteral("<html><body style=\"font-family: sans-serif; font-size: 10pt\">"
                          "<h1 style=\"font-size: 18pt\">Test certificate</h1>") +
           verdictBox(record, repair) +
           QStringLiteral("<h2 style=\"font-size: 13pt\">Reader and checkout</h2>"
                          "<table cellpadding=\"3\">") +
           facts + QStringLiteral("</table><h2 style=\"font-size: 13pt\">Steps</h2>") +
           stepsTable(record, breaks) + QStringLiteral("</body></html>");
}

} // namespace

QString RecordCertificate::html(const ReaderRecord &record,
                                const std::optional<RepairRecord> &repair, const QString &keptHash)
{
    return pagedHtml(record, repair, keptHash, {});
}

QString RecordCertificate::fileName(const QString &serialText, const QDateTime &started)
{
    return QStringLiteral("certificate-%1-%2.pdf")
        .arg(serialText.isEmpty() ? QStringLiteral("unidentified") : serialText,
             started.toUTC().toString(QStringLiteral("yyyy-MM-dd")));
}

namespace {

// The band above and below each page's text that holds its running title and page number.
constexpr qreal BandHeight = 28;

// The running lines of one page: what the certificate is of, on top; the record's id and the
// page's number among all of them, below. A page that strays from its certificate still says
// where it belongs.
void drawBands(QPainter &painter, const QRectF &page, const ReaderRecord &record, int number,
               int count)
{
    QFont font(QStringLiteral("sans-serif"));
    font.setPointSizeF(8);
    painter.setFont(font);
    painter.setPen(QColor(0x55, 0x55, 0x55));
    const QRectF top(page.left(), page.top(), page.width(), BandHeight / 2);
    const QRectF bottom(page.left(), page.bottom() - BandHeight / 2, page.width(), BandHeight / 2);
    painter.drawText(top, Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("Test certificate · %1 SN %2 · %3")
                         .arg(orDash(record.modelName()), orDash(record.serialText()),
                              outcomeName(record.outcome).toUpper()));
    painter.drawText(bottom, Qt::AlignLeft | Qt::AlignBottom,
                     QStringLiteral("Record %1").arg(record.id));
    painter.drawText(bottom, Qt::AlignRight | Qt::AlignBottom,
                     QStringLiteral("page %1 of %2").arg(number).arg(count));
}

// Draws every page into device, an open file or buffer: the text laid out in pages of the
// height between the bands, no row of the steps cut between two pages.
void draw(const ReaderRecord &record, const std::optional<RepairRecord> &repair,
          const QString &keptHash, QIODevice &device)
{
    QPdfWriter writer(&device);
    writer.setTitle(
        QStringLiteral("Test certificate %1 SN %2").arg(record.modelName(), record.serialText()));
    writer.setCreator(QStringLiteral("vorn-tool"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 15, 20, 15), QPageLayout::Millimeter);
    // The resolution QTextDocument lays out in: its points and pixels come out at their size
    // on paper (the text stays vector text).
    writer.setResolution(96);

    const QRectF page(QPointF(0, 0),
                      writer.pageLayout().paintRectPixels(writer.resolution()).size().toSizeF());
    PagedDocument document(
        QSizeF(page.width(), page.height() - 2 * BandHeight),
        [&](const QList<int> &breaks) { return pagedHtml(record, repair, keptHash, breaks); });
    const int count = document.pageCount();
    QPainter painter(&writer);
    for (int index = 0; index < count; ++index) {
        if (index > 0)
            writer.newPage();
        drawBands(painter, page, record, index + 1, count);
        painter.save();
        painter.translate(0, BandHeight);
        document.drawPage(painter, index);
        painter.restore();
    }
}

} // namespace

bool RecordCertificate::write(const ReaderRecord &record, const QString &path, QString *error,
                              const std::optional<RepairRecord> &repair, const QString &keptHash)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    draw(record, repair, keptHash, file);
    file.close();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QByteArray RecordCertificate::pdf(const ReaderRecord &record,
                                  const std::optional<RepairRecord> &repair,
                                  const QString &keptHash)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    draw(record, repair, keptHash, buffer);
    return bytes;
}
