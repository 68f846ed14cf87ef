#include "checkout/stepcatalogue.h"

#include "checkout/checkoutrecord.h"
#include "checkout/steps/checkoutsteps.h"

namespace {

using Value = MeasurementDeclaration::Value;

QList<StepDeclaration> makeSteps()
{
    // The order of the checkout: a step runs after those whose findings it needs.
    return {
        CheckoutSteps::identify(), CheckoutSteps::status(),        CheckoutSteps::selectSlot(),
        CheckoutSteps::clocks(),   CheckoutSteps::tarvik(),        CheckoutSteps::time(),
        CheckoutSteps::echo(),     CheckoutSteps::lines(),         CheckoutSteps::display(),
        CheckoutSteps::cards(),    CheckoutSteps::programClocks(), CheckoutSteps::programTime(),
    };
}

} // namespace

MeasurementDeclaration MeasurementDeclaration::number(const char *name, const char *title,
                                                      const MeasurementLimit &limit,
                                                      const char *unit)
{
    return {QLatin1String(name),
            QLatin1String(unit),
            QLatin1String(title),
            Value::Number,
            limit,
            {},
            {}};
}

MeasurementDeclaration MeasurementDeclaration::fixedNumber(const char *name, const char *title,
                                                           const QString &limit, const char *unit)
{
    return {QLatin1String(name),
            QLatin1String(unit),
            QLatin1String(title),
            Value::Number,
            MeasurementLimit::none(),
            limit,
            {}};
}

MeasurementDeclaration MeasurementDeclaration::flag(const char *name, const char *title,
                                                    const QString &fixedLimit)
{
    return {QLatin1String(name), {}, QLatin1String(title), Value::Bool, MeasurementLimit::none(),
            fixedLimit,          {}};
}

MeasurementDeclaration MeasurementDeclaration::reporting(ValueRange (ReaderModel::*range)()
                                                             const) const
{
    MeasurementDeclaration declared = *this;
    declared.reported = [range](const ReaderModel &model) { return (model.*range)(); };
    return declared;
}

MeasurementDeclaration MeasurementDeclaration::reporting(ValueRange (*range)()) const
{
    MeasurementDeclaration declared = *this;
    declared.reported = [range](const ReaderModel &) { return range(); };
    return declared;
}

bool MeasurementDeclaration::matches(const QString &measurementName) const
{
    if (!isPattern())
        return measurementName == name;
    const QString stem = name.chopped(1);
    if (!measurementName.startsWith(stem))
        return false;
    bool number = false;
    const int slot = measurementName.mid(stem.size()).toInt(&number);
    return number && slot >= 1 && slot <= ReaderModel::mostSlots() &&
           QString::number(slot) == measurementName.mid(stem.size());
}

QString MeasurementDeclaration::limitText() const
{
    if (fixed())
        return fixedLimit;
    const QString text = defaultLimit.text(unit);
    return text.isEmpty() ? QStringLiteral("none") : text;
}

StepDeclaration StepDeclaration::of(const QString &name, const QString &title,
                                    const QList<MeasurementDeclaration> &measurements, Body run)
{
    StepDeclaration step;
    step.name = name;
    step.title = title;
    step.measurements = measurements;
    step.run = run;
    return step;
}

const MeasurementDeclaration *StepDeclaration::measurement(const QString &measurementName) const
{
    for (const MeasurementDeclaration &declared : measurements) {
        if (declared.matches(measurementName))
            return &declared;
    }
    return nullptr;
}

QStringList StepDeclaration::undeclared(const StepRecord &step) const
{
    QStringList names;
    for (const Measurement &measured : step.measurements) {
        if (!measurement(measured.name))
            names.append(measured.name);
    }
    return names;
}

QStringList StepDeclaration::settableMeasurements() const
{
    QStringList names;
    for (const MeasurementDeclaration &declared : measurements) {
        if (!declared.fixed())
            names.append(declared.name);
    }
    return names;
}

namespace StepCatalogue {

const QList<StepDeclaration> &steps()
{
    static const QList<StepDeclaration> catalogue = makeSteps();
    return catalogue;
}

QStringList stepNames()
{
    QStringList names;
    for (const StepDeclaration &declared : steps())
        names.append(declared.name);
    return names;
}

const StepDeclaration *step(const QString &name)
{
    for (const StepDeclaration &declared : steps()) {
        if (declared.name == name)
            return &declared;
    }
    return nullptr;
}

const MeasurementDeclaration *measurement(const QString &name, const StepDeclaration **step)
{
    for (const StepDeclaration &declared : steps()) {
        if (const MeasurementDeclaration *found = declared.measurement(name)) {
            if (step)
                *step = &declared;
            return found;
        }
    }
    return nullptr;
}

QStringList standardSteps()
{
    QStringList names;
    for (const StepDeclaration &declared : steps()) {
        if (!declared.needsCards && !declared.programs)
            names.append(declared.name);
    }
    return names;
}

const StepDeclaration &identification()
{
    for (const StepDeclaration &declared : steps()) {
        if (declared.identifiesReader)
            return declared;
    }
    Q_UNREACHABLE();
}

} // namespace StepCatalogue
