#include "records/recordtext.h"

#include <QList>
#include <QStringList>

#include <algorithm>

namespace {

constexpr qsizetype ColumnCount = 5;
using Row = std::array<QString, ColumnCount>;

QString table(const QList<Row> &rows, const QList<QString> &messages)
{
    std::array<qsizetype, ColumnCount> widths{};
    for (const Row &row : rows) {
        for (qsizetype column = 0; column < ColumnCount; ++column)
            widths[column] = std::max(widths[column], row[column].size());
    }
    QString text;
    for (qsizetype index = 0; index < rows.size(); ++index) {
        QString line;
        for (qsizetype column = 0; column < ColumnCount - 1; ++column)
            line += rows[index][column].leftJustified(widths[column] + 2);
        // The time is a number: right-aligned.
        line += rows[index][ColumnCount - 1].rightJustified(widths[ColumnCount - 1]);
        text += line + QLatin1Char('\n');
        if (!messages[index].isEmpty())
            text += QStringLiteral("    %1\n").arg(messages[index]);
    }
    return text;
}

QString orDash(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

} // namespace

QString RecordText::summaryLine(const ReaderRecord &record)
{
    return QStringLiteral("%1  %2  %3  SN %4  %5 s")
        .arg(outcomeName(record.outcome).toUpper(), record.port, orDash(record.modelName()),
             orDash(record.serialText()))
        .arg(double(record.durationMs) / 1000.0, 0, 'f', 2);
}

QString RecordText::render(const ReaderRecord &record)
{
    QString text;
    text += QStringLiteral("Record    %1\n").arg(record.id);
    text += QStringLiteral("Station   %1\n").arg(orDash(record.station));
    text += QStringLiteral("Started   %1\n").arg(isoUtc(record.started));
    text += QStringLiteral("Reader    %1, firmware %2, SN %3\n")
                .arg(orDash(record.modelName()),
                     record.firmware ? QString::number(*record.firmware) : QStringLiteral("-"),
                     orDash(record.serialText()));
    text += QStringLiteral("Restored  %1\n\n")
                .arg(record.restored ? QStringLiteral("yes") : QStringLiteral("no"));

    QList<Row> rows{{QStringLiteral("step"), QStringLiteral("outcome"), QStringLiteral("measured"),
                     QStringLiteral("limit"), QStringLiteral("ms")}};
    QList<QString> messages{QString()};
    for (const StepRecord &step : record.steps) {
        rows.append({step.name, outcomeName(step.outcome), step.measured, step.limits,
                     QString::number(step.durationMs)});
        messages.append(step.message);
    }
    return text + table(rows, messages) + QLatin1Char('\n') + summaryLine(record) +
           QLatin1Char('\n');
}
