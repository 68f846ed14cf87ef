#include "checkout/checkoutplan.h"

#include "checkout/stepcatalogue.h"
#include "device/readermodel.h"
#include "device/timesetting.h"

#include <QCryptographicHash>
#include <QJsonDocument>

PlanIdentity CheckoutPlan::identity(const QJsonObject &canonical)
{
    // QJsonObject keeps its keys sorted, so the compact text is the canonical form.
    const QByteArray text = QJsonDocument(canonical).toJson(QJsonDocument::Compact);
    return {
        canonical.value(QLatin1String("name")).toString(),
        canonical.value(QLatin1String("revision")).toString(),
        QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex())};
}

PlanIdentity CheckoutPlan::commandLineIdentity(const CheckoutOptions &options)
{
    QJsonObject canonical = options.toJson();
    canonical.insert(QStringLiteral("name"), QStringLiteral("command-line"));
    PlanIdentity plan = identity(canonical);
    plan.revision.clear();
    return plan;
}

QString CheckoutPlan::showText() const
{
    QString text = QStringLiteral("Plan ") + options.plan.text() + QLatin1Char('\n');
    if (!description.isEmpty())
        text += description + QLatin1Char('\n');
    if (!path.isEmpty())
        text += QStringLiteral("File %1\n").arg(path);
    if (options.retestLimit)
        text += QStringLiteral("Retest limit %1\n").arg(*options.retestLimit);
    if (options.requireLot)
        text += QStringLiteral("A lot is required\n");
    if (options.echo == CheckoutOptions::Echo::All)
        text += QStringLiteral("Echo of every byte value\n");
    if (options.programClocks) {
        QStringList clocks;
        for (int slot = 0; slot < ReaderModel::orLargest(options.model).slotCount(); ++slot)
            clocks.append(ClockSelection::frequencyText(options.programClocks->code(slot)));
        text += QStringLiteral("Stores the clocks %1 MHz\n").arg(clocks.join(QLatin1Char(' ')));
    }
    if (options.programTimeCounts)
        text += QStringLiteral("Stores the time setting %1 s\n")
                    .arg(TimeSetting::secondsFromCounts(*options.programTimeCounts));
    if (prompt)
        text += *prompt ? QStringLiteral("The operator is asked\n")
                        : QStringLiteral("The operator is never asked\n");
    for (const QString &name : options.stepNames()) {
        const StepDeclaration *step = StepCatalogue::step(name);
        text += QStringLiteral("\n%1  %2\n").arg(name, step->title);
        for (const MeasurementDeclaration &measurement : step->measurements) {
            QString limit = measurement.limitText();
            if (!measurement.fixed()) {
                limit = options.limit(measurement.name).text(measurement.unit);
                if (limit.isEmpty())
                    limit = QStringLiteral("none");
            }
            text += QStringLiteral("  %1  %2  %3\n")
                        .arg(measurement.name.leftJustified(26), limit.leftJustified(30),
                             measurement.title);
        }
    }
    return text;
}
