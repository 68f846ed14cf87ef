#include "checkout/checkouttext.h"

#include "checkout/checkoutrecord.h"

#include <QList>

#include <algorithm>
#include <array>

namespace {

template <std::size_t Columns>
std::array<qsizetype, Columns> columnWidths(const QList<std::array<QString, Columns>> &rows)
{
    std::array<qsizetype, Columns> widths{};
    for (const auto &row : rows)
        for (std::size_t column = 0; column < Columns; ++column)
            widths[column] = std::max(widths[column], row[column].size());
    return widths;
}

// "Vorn8-retail revision 3": the plan as a line of the table names it (its hash is in the
// record and on the certificate).
QString planWords(const PlanIdentity &plan)
{
    return plan.revision.isEmpty() ? plan.name
                                   : QStringLiteral("%1 revision %2").arg(plan.name, plan.revision);
}

} // namespace

QString CheckoutText::summaryLine(const ReaderRecord &record)
{
    const QString model = record.modelType ? record.modelName() : QStringLiteral("-");
    const QString serial = record.serialNumber ? record.serialText() : QStringLiteral("-");
    return QStringLiteral("%1  %2  %3  SN %4  %5 s")
        .arg(outcomeName(record.outcome).toUpper(), record.port, model, serial,
             QString::number(double(record.durationMs) / 1000.0, 'f', 2));
}

QString CheckoutText::readerText(const ReaderRecord &record)
{
    using Row = std::array<QString, 5>;
    QList<Row> rows{{QStringLiteral("step"), QStringLiteral("outcome"), QStringLiteral("measured"),
                     QStringLiteral("limit"), QStringLiteral("ms")}};
    for (const StepRecord &step : record.steps)
        rows.append({step.name, outcomeName(step.outcome), step.measured, step.limits,
                     QString::number(step.durationMs)});
    const std::array<qsizetype, 5> widths = columnWidths(rows);

    // The plan beside the port: which limits the steps below were held against.
    QString text = record.port;
    if (!record.plan.isEmpty())
        text += QStringLiteral("  plan %1").arg(planWords(record.plan));
    text += QLatin1Char('\n');
    QString lastMessage; // the same reason for several skipped steps is given once
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const Row &row = rows.at(i);
        QString line = QStringLiteral("  ");
        for (std::size_t column = 0; column + 1 < row.size(); ++column)
            line += row[column].leftJustified(widths[column]) + QStringLiteral("  ");
        line += row.back().rightJustified(widths.back());
        text += line + QLatin1Char('\n');
        const StepRecord *step = i > 0 ? &record.steps.at(i - 1) : nullptr;
        if (step && !step->message.isEmpty() && step->outcome != StepOutcome::Pass &&
            step->message != lastMessage)
            text += QString(widths[0] + 4, QLatin1Char(' ')) + step->message + QLatin1Char('\n');
        if (step)
            lastMessage = step->message;
    }
    if (!record.restoredPrevious.isEmpty())
        text += QStringLiteral("  put back first: %1\n").arg(record.restoredPrevious);
    if (!record.restored)
        text += QStringLiteral("  not restored: the selected slot or the clocks could not be put "
                               "back as found\n");
    if (!record.refusal.isEmpty())
        text += QStringLiteral("  refused: %1\n").arg(record.refusal);
    if (record.retestLimitChecked == false)
        text += QStringLiteral("  retest limit not checked: the records are out of reach\n");
    return text + summaryLine(record) + QLatin1Char('\n');
}

QString CheckoutText::summaryTable(const QList<ReaderRecord> &records)
{
    using Row = std::array<QString, 5>;
    QList<Row> rows{{QStringLiteral("port"), QStringLiteral("serial"), QStringLiteral("outcome"),
                     QStringLiteral("failed step"), QStringLiteral("message")}};
    for (const ReaderRecord &record : records) {
        const auto failed =
            std::find_if(record.steps.cbegin(), record.steps.cend(), [](const StepRecord &step) {
                return step.outcome == StepOutcome::Fail || step.outcome == StepOutcome::Error;
            });
        const bool found = failed != record.steps.cend();
        rows.append({record.port, record.serialNumber ? record.serialText() : QStringLiteral("-"),
                     outcomeName(record.outcome).toUpper(), found ? failed->name : QString(),
                     found ? failed->message : QString()});
    }
    const std::array<qsizetype, 5> widths = columnWidths(rows);
    QString text;
    for (const Row &row : rows) {
        QString line;
        for (std::size_t column = 0; column < row.size(); ++column)
            line += row[column].leftJustified(widths[column]) + QStringLiteral("  ");
        text += line.trimmed() + QLatin1Char('\n');
    }
    return text;
}
