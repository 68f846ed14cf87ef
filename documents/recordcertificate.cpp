#include "documents/recordcertificate.h"

#include "checkout/measurementtitles.h"

#include <QBuffer>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

#include <algorithm>

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

QString stepRows(const StepRecord &step)
{
    // A step with measurements shows each on a line of its own, with its limit; a record kept
    // before measurements existed shows its text.
    QString rows = QStringLiteral("<tr>") + cell(step.name) + cell(outcomeName(step.outcome));
    rows += step.measurements.isEmpty() ? cell(step.measured) + cell(step.limits) + cell({})
                                        : QStringLiteral("<td></td><td></td><td></td>");
    rows += QStringLiteral("</tr>");
    // Why a step did not pass: which slot, which byte, why it was not run.
    if (step.outcome != StepOutcome::Pass && !step.message.isEmpty())
        rows += QStringLiteral("<tr><td></td><td colspan=\"4\"><i>%1</i></td></tr>")
                    .arg(step.message.toHtmlEscaped());
    for (const Measurement &measurement : step.measurements)
        rows += QStringLiteral("<tr><td></td>") + titleCell(measurement) +
                cell(measurement.valueText()) + cell(orDash(measurement.limitText())) +
                cell(measurement.outcomeName()) + QStringLiteral("</tr>");
    return rows;
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

// A verdict says what was checked: the steps left out are named with it.
QString notPerformedText(const ReaderRecord &record)
{
    QStringList skipped;
    for (const StepRecord &step : record.steps)
        if (step.outcome == StepOutcome::Skip)
            skipped.append(step.message.isEmpty()
                               ? step.name
                               : QStringLiteral("%1 (%2)").arg(step.name, step.message));
    if (skipped.isEmpty())
        return {};
    return QStringLiteral("<p>Not performed: %1.</p>")
        .arg(skipped.join(QStringLiteral("; ")).toHtmlEscaped());
}

} // namespace

QString RecordCertificate::html(const ReaderRecord &record,
                                const std::optional<RepairRecord> &repair, const QString &keptHash)
{
    QString steps;
    for (const StepRecord &step : record.steps)
        steps += stepRows(step);
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
        (keptHash.isEmpty() ? QString() : fact(QStringLiteral("Record hash"), keptHash)) +
        (repair ? fact(QStringLiteral("After repair"),
                       QStringLiteral("%1; symptom: %2 (repair %3)")
                           .arg(repair->text(), repair->symptom, repair->id))
                : QString());
    return QStringLiteral("<html><body style=\"font-family: sans-serif; font-size: 10pt\">"
                          "<h1 style=\"font-size: 18pt\">Test certificate</h1>"
                          "<table cellpadding=\"3\">") +
           facts +
           QStringLiteral("</table><h2 style=\"font-size: 13pt\">Steps</h2>"
                          "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" "
                          "width=\"100%\"><tr><th align=\"left\">Step</th>"
                          "<th align=\"left\">Outcome / measurement</th>"
                          "<th align=\"left\">Measured</th><th align=\"left\">Limit</th>"
                          "<th align=\"left\">Result</th></tr>") +
           steps + QStringLiteral("</table>") +
           // An empty line keeps the verdict clear of the table above it (the text layout
           // gives a paragraph after a table no margin).
           QStringLiteral("<p>&nbsp;</p><p style=\"font-size: 16pt\">Verdict: "
                          "<b style=\"color: %1\">%2</b></p>")
               .arg(verdictColour(record.outcome), outcomeName(record.outcome).toUpper()) +
           notPerformedText(record) +
           QStringLiteral("<p>%1</p></body></html>").arg(restoredText(record).toHtmlEscaped());
}

namespace {

// Draws the one page into device, an open file or buffer.
void draw(const ReaderRecord &record, const std::optional<RepairRecord> &repair,
          const QString &keptHash, QIODevice &device)
{
    QPdfWriter writer(&device);
    writer.setTitle(
        QStringLiteral("Test certificate %1 SN %2").arg(record.modelName(), record.serialText()));
    writer.setCreator(QStringLiteral("vorn-tool"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    // The resolution QTextDocument lays out in: its points and pixels come out at their size
    // on paper (the text stays vector text).
    writer.setResolution(96);

    // Laid out on the page's printable area and drawn once: one page, without the page number
    // that printing a document would add.
    QTextDocument document;
    document.setDocumentMargin(0);
    document.setPageSize(writer.pageLayout().paintRectPixels(writer.resolution()).size());
    document.setHtml(RecordCertificate::html(record, repair, keptHash));
    QPainter painter(&writer);
    document.drawContents(&painter);
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
