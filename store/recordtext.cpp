#include "store/recordtext.h"

#include "checkout/checkouttext.h"

namespace {

QString orDash(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

} // namespace

QString RecordText::summaryLine(const ReaderRecord &record)
{
    return CheckoutText::summaryLine(record);
}

QString RecordText::render(const ReaderRecord &record)
{
    QString text;
    text += QStringLiteral("Record    %1\n").arg(record.id);
    text += QStringLiteral("Station   %1\n").arg(orDash(record.station));
    text += QStringLiteral("Operator  %1\n").arg(orDash(record.operatorName));
    text += QStringLiteral("Lot       %1\n").arg(orDash(record.lot));
    text +=
        QStringLiteral("Tool      %1\n")
            .arg(orDash(QStringLiteral("%1 %2").arg(record.tool, record.toolVersion).trimmed()));
    text += QStringLiteral("Started   %1\n").arg(isoUtc(record.started));
    text += QStringLiteral("Reader    %1, firmware %2, SN %3\n")
                .arg(orDash(record.modelName()),
                     record.firmware ? QString::number(*record.firmware) : QStringLiteral("-"),
                     orDash(record.serialText()));
    text += QStringLiteral("Restored  %1\n\n")
                .arg(record.restored ? QStringLiteral("yes") : QStringLiteral("no"));
    return text + CheckoutText::readerText(record);
}

QString RecordText::csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
