#include "checkout/steps/checkoutsteps.h"

#include "checkout/stepcontext.h"
#include "serial/serialline.h"

#include <array>

namespace {

const QString OperatorsYes = QStringLiteral("= true, the operator's yes");

StepRecord judgeDisplay(StepContext &context)
{
    context.display().runDisplayTest();
    if (!context.line().isOpen())
        return context.replyError(DeviceError::ReadError, QStringLiteral("the display test"));
    const std::optional<bool> lit =
        context.ask(QStringLiteral("Did every dot of the display light?"));
    if (context.stopRequested())
        return StepContext::interrupted();
    if (!lit)
        return StepContext::noAnswer();
    return context.measuredStep({context.measured(QStringLiteral("display_dots_lit"), *lit,
                                                  MeasurementLimit::equals(true))});
}

StepRecord insertAndRemoveCards(StepContext &context)
{
    const ReaderFindings &found = context.found();
    struct Round
    {
        const char *question;
        const char *name; // of the round's measurements
        quint8 expected;
    };
    const std::array<Round, 2> rounds{{
        {"Insert a card into every slot. Are they all in?", "inserted", found.slotBits()},
        {"Remove all cards. Are they all out?", "removed", quint8(0)},
    }};
    QList<Measurement> measurements;
    QStringList seen;
    for (const Round &round : rounds) {
        const QString name = QLatin1String(round.name);
        const std::optional<bool> done = context.ask(QLatin1String(round.question));
        if (context.stopRequested())
            return StepContext::interrupted();
        if (!done)
            return StepContext::noAnswer();
        measurements.append(context.measured(QStringLiteral("cards_%1_confirmed").arg(name), *done,
                                             MeasurementLimit::equals(true)));
        // Without the operator's yes there is nothing to read: the cards were not placed.
        if (!measurements.last().passed())
            return context.measuredStep(measurements, QLatin1String(round.question));
        const DeviceResult<SlotStatus> status = context.reader().readStatus();
        if (!status.ok())
            return context.replyError(status.error, QStringLiteral("the status request"));
        const MeasurementLimit expected = MeasurementLimit::equals(round.expected);
        const quint8 read = status.value.occupancy & found.slotBits();
        measurements.append(
            context.measured(QStringLiteral("cards_%1_occupancy").arg(name), int(read), expected));
        seen.append(QStringLiteral("%1: status cards %2").arg(name, StepContext::cardsText(read)));
        if (found.model->speaksTarvik()) {
            const DeviceResult<quint8> tarvik = context.reader().tarvikStatus();
            if (!tarvik.ok())
                return context.replyError(tarvik.error, QStringLiteral("the Tarvik status"));
            measurements.append(context.measured(QStringLiteral("cards_%1_tarvik").arg(name),
                                                 int(tarvik.value), expected));
            seen.last() +=
                QStringLiteral(", Tarvik status cards ") + StepContext::cardsText(tarvik.value);
        }
    }
    // The occupancies are bits; the cards they stand for, for people.
    return context.measuredStep(measurements, seen.join(QStringLiteral("; ")));
}

// The measurements of one round of the card step: the operator's yes, then what the status and
// the Tarvik status show.
QList<MeasurementDeclaration> cardRound(const char *round, const char *doing, const char *expected)
{
    const QString name = QLatin1String(round);
    const QString seen = QStringLiteral("cards seen after ") + QLatin1String(doing);
    const auto declared = [&](const char *what, const QString &title) {
        MeasurementDeclaration declaration =
            MeasurementDeclaration::fixedNumber("", "", QLatin1String(expected));
        declaration.name = QStringLiteral("cards_%1_%2").arg(name, QLatin1String(what));
        declaration.title = title;
        return declaration;
    };
    MeasurementDeclaration confirmed = MeasurementDeclaration::flag("", "", OperatorsYes);
    confirmed.name = QStringLiteral("cards_%1_confirmed").arg(name);
    confirmed.title = QStringLiteral("cards %1 (operator)").arg(name);
    return {confirmed, declared("occupancy", seen),
            declared("tarvik", seen + QStringLiteral(", Tarvik status"))};
}

} // namespace

StepDeclaration CheckoutSteps::display()
{
    StepDeclaration step = StepDeclaration::of(
        QStringLiteral("display"), QStringLiteral("Display test, judged by the operator"),
        {MeasurementDeclaration::flag("display_dots_lit", "every display dot lit", OperatorsYes)},
        &judgeDisplay);
    step.operatorTask = QStringLiteral("look at the display");
    return step;
}

StepDeclaration CheckoutSteps::cards()
{
    StepDeclaration step = StepDeclaration::of(
        QStringLiteral("cards"), QStringLiteral("Cards inserted into every slot, then removed"),
        cardRound("inserted", "inserting", "= every slot of the model") +
            cardRound("removed", "removing", "= no slot"),
        &insertAndRemoveCards);
    step.operatorTask = QStringLiteral("insert and remove cards");
    step.needsCards = true;
    step.needsSteps = QStringList{QStringLiteral("identify")};
    return step;
}
