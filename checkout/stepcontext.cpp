#include "checkout/stepcontext.h"

#include "checkout/checkoutoptions.h"
#include "checkout/checkoutstop.h"
#include "checkout/stepcatalogue.h"
#include "serial/serialline.h"

StepContext::StepContext(SerialLine &line, ReaderCommands &reader, DisplayCommands &display,
                         const CheckoutOptions &options, const CheckoutStop &stop, Question ask,
                         std::function<void()> noteChange)
    : m_line(line), m_reader(reader), m_display(display), m_options(options), m_stop(stop),
      m_ask(std::move(ask)), m_noteChange(std::move(noteChange))
{
}

bool StepContext::stopRequested() const
{
    return m_stop.requested();
}

Measurement StepContext::measured(const QString &name, const QJsonValue &value,
                                  const MeasurementLimit &fixedLimit) const
{
    // A name the step does not declare is recorded as it is; the sequencer ends the step in
    // error for it.
    const MeasurementDeclaration *declared = m_step ? m_step->measurement(name) : nullptr;
    if (!declared)
        return Measurement::of(name, value, {});
    const MeasurementLimit limit = declared->fixed() ? fixedLimit : m_options.limit(name);
    return Measurement::of(name, value, declared->unit, limit);
}

StepRecord StepContext::measuredStep(const QList<Measurement> &measurements,
                                     const QString &detail) const
{
    StepRecord step;
    step.setMeasurements(measurements);
    QStringList failures;
    for (const Measurement &measurement : measurements) {
        if (measurement.passed())
            continue;
        const MeasurementDeclaration *declared =
            m_step ? m_step->measurement(measurement.name) : nullptr;
        failures.append(QStringLiteral("%1 %2, not %3")
                            .arg(declared ? declared->title : measurement.name,
                                 measurement.valueText(), measurement.limitText()));
    }
    step.outcome = failures.isEmpty() ? StepOutcome::Pass : StepOutcome::Fail;
    if (!failures.isEmpty())
        step.message = failures.join(QStringLiteral("; ")) +
                       (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail);
    return step;
}

StepRecord StepContext::replyError(DeviceError error, const QString &request) const
{
    if (!m_line.isOpen())
        return ended(StepOutcome::Error, QStringLiteral("the port was lost at %1").arg(request));
    if (error == DeviceError::Timeout)
        return ended(StepOutcome::Error,
                     QStringLiteral("no complete reply to %1 in time").arg(request));
    return ended(StepOutcome::Error,
                 QStringLiteral("no reply of the right length to %1").arg(request));
}

StepRecord StepContext::ended(StepOutcome outcome, const QString &message)
{
    StepRecord step;
    step.outcome = outcome;
    step.message = message;
    return step;
}

StepRecord StepContext::interrupted()
{
    return ended(StepOutcome::Skip, QStringLiteral("interrupted"));
}

StepRecord StepContext::noAnswer()
{
    // Nobody answered, so nobody saw: the step cannot have passed, nor can it have failed.
    return ended(StepOutcome::Error, QStringLiteral("no operator answer (end of input)"));
}

QString StepContext::cardsText(quint8 occupancy)
{
    const QList<int> numbers = SlotStatus::occupiedSlotNumbers(occupancy);
    if (numbers.isEmpty())
        return QStringLiteral("none");
    QStringList texts;
    for (const int number : numbers)
        texts.append(QString::number(number));
    return texts.join(QLatin1Char(' '));
}
