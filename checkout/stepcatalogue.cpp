#include "checkout/stepcatalogue.h"

#include "device/readerprotocol.h"
#include "device/timesetting.h"

namespace {

using Value = MeasurementSpec::Value;

const QString ModelSlots = QStringLiteral("the model's slots");

MeasurementSpec number(const char *name, const char *title,
                       const MeasurementLimit &limit = MeasurementLimit::none(),
                       const char *unit = "")
{
    return {
        QLatin1String(name), QLatin1String(unit), QLatin1String(title), Value::Number, limit, {}};
}

MeasurementSpec fixedNumber(const char *name, const char *title, const QString &limit,
                            const char *unit = "")
{
    return {QLatin1String(name), QLatin1String(unit),      QLatin1String(title),
            Value::Number,       MeasurementLimit::none(), limit};
}

MeasurementSpec flag(const char *name, const char *title, const QString &fixedLimit = {})
{
    return {QLatin1String(name),      {},        QLatin1String(title), Value::Bool,
            MeasurementLimit::none(), fixedLimit};
}

const QString OperatorsYes = QStringLiteral("= true, the operator's yes");

QList<MeasurementSpec> cardRound(const char *round, const char *doing, const char *expected)
{
    const QString name = QLatin1String(round);
    const QString seen = QStringLiteral("cards seen after ") + QLatin1String(doing);
    const auto spec = [&](const char *what, const QString &title, const QString &limit) {
        return MeasurementSpec{QStringLiteral("cards_%1_%2").arg(name, QLatin1String(what)),
                               {},
                               title,
                               Value::Number,
                               MeasurementLimit::none(),
                               limit};
    };
    QList<MeasurementSpec> specs{
        {QStringLiteral("cards_%1_confirmed").arg(name),
         {},
         QStringLiteral("cards %1 (operator)").arg(name),
         Value::Bool,
         MeasurementLimit::none(),
         OperatorsYes},
        spec("occupancy", seen, QLatin1String(expected)),
        spec("tarvik", seen + QStringLiteral(", Tarvik status"), QLatin1String(expected)),
    };
    return specs;
}

enum Needs
{
    Nothing = 0,
    Cards = 1,
    Programs = 2,
};

StepSpec stepSpec(const char *name, const char *title, const QList<MeasurementSpec> &measurements,
                  const QStringList &needsSteps = {}, int needs = Nothing,
                  const char *operatorTask = "")
{
    return {
        QLatin1String(name),  QLatin1String(title),    measurements, QLatin1String(operatorTask),
        (needs & Cards) != 0, (needs & Programs) != 0, needsSteps};
}

QList<StepSpec> makeSteps()
{
    const MeasurementLimit models = MeasurementLimit::oneOf(
        {int(ReaderProtocol::FourSlotModel), int(ReaderProtocol::EightSlotModel)});
    const QStringList identify{QStringLiteral("identify")};
    const QStringList status{QStringLiteral("status")};
    return {
        stepSpec("identify", "Identification: model, firmware and serial number",
                 {number("model_type", "model type", models),
                  number("firmware", "firmware version"), number("serial", "serial number")}),
        stepSpec(
            "status", "Status: occupied slots and the selected slot",
            {number("occupancy", "occupied slots"),
             fixedNumber("selected_slot", "selected slot", QStringLiteral("1 to ") + ModelSlots)},
            identify),
        stepSpec("select-slot", "Every slot selected in turn",
                 {fixedNumber("slots_selectable", "slots that can be selected",
                              QStringLiteral("= ") + ModelSlots)},
                 status),
        stepSpec("clocks", "Card clocks: four test patterns, never stored",
                 {fixedNumber("clock_slots_following", "slots whose clock follows",
                              QStringLiteral("= ") + ModelSlots)},
                 identify),
        stepSpec("tarvik", "Tarvik status of an eight-slot reader",
                 {fixedNumber("tarvik_occupancy", "occupied slots, Tarvik status",
                              QStringLiteral("= the status's occupancy"))},
                 status),
        stepSpec("time", "Time setting",
                 {number("time_setting_s", "time setting",
                         MeasurementLimit::range(0, TimeSetting::MaxSeconds), "s"),
                  number("time_setting_counts", "time setting in counts")}),
        stepSpec("echo", "Echo of byte values",
                 {fixedNumber("bytes_echoed", "bytes echoed unchanged",
                              QStringLiteral("= the bytes sent"), "bytes")}),
        stepSpec("lines", "Modem lines, recorded: they follow the cards",
                 {flag("cts_active", "CTS line active"), flag("dcd_active", "DCD line active")}),
        stepSpec("display", "Display test, judged by the operator",
                 {flag("display_dots_lit", "every display dot lit", OperatorsYes)}, {}, Nothing,
                 "look at the display"),
        stepSpec("cards", "Cards inserted into every slot, then removed",
                 cardRound("inserted", "inserting", "= every slot of the model") +
                     cardRound("removed", "removing", "= no slot"),
                 identify, Cards, "insert and remove cards"),
        stepSpec("program-clocks", "Card clocks stored in the reader",
                 {fixedNumber("clock_slot_N", "clock of slot N",
                              QStringLiteral("= the clock stored"), "MHz")},
                 identify, Programs),
        stepSpec("program-time", "Time setting stored in the reader",
                 {fixedNumber("stored_time_setting_s", "stored time setting",
                              QStringLiteral("= the setting stored"), "s")},
                 {}, Programs),
    };
}

} // namespace

bool MeasurementSpec::matches(const QString &measurementName) const
{
    if (!isPattern())
        return measurementName == name;
    const QString stem = name.chopped(1);
    if (!measurementName.startsWith(stem))
        return false;
    bool number = false;
    const int slot = measurementName.mid(stem.size()).toInt(&number);
    return number && slot >= 1 && slot <= ReaderProtocol::SlotCount &&
           QString::number(slot) == measurementName.mid(stem.size());
}

QString MeasurementSpec::limitText() const
{
    if (fixed())
        return fixedLimit;
    const QString text = defaultLimit.text(unit);
    return text.isEmpty() ? QStringLiteral("none") : text;
}

const MeasurementSpec *StepSpec::measurement(const QString &measurementName) const
{
    for (const MeasurementSpec &spec : measurements) {
        if (spec.matches(measurementName))
            return &spec;
    }
    return nullptr;
}

namespace StepCatalogue {

const QList<StepSpec> &steps()
{
    static const QList<StepSpec> catalogue = makeSteps();
    return catalogue;
}

QStringList stepNames()
{
    QStringList names;
    for (const StepSpec &spec : steps())
        names.append(spec.name);
    return names;
}

const StepSpec *step(const QString &name)
{
    for (const StepSpec &spec : steps()) {
        if (spec.name == name)
            return &spec;
    }
    return nullptr;
}

const MeasurementSpec *measurement(const QString &name, const StepSpec **step)
{
    for (const StepSpec &spec : steps()) {
        if (const MeasurementSpec *found = spec.measurement(name)) {
            if (step)
                *step = &spec;
            return found;
        }
    }
    return nullptr;
}

QStringList standardSteps()
{
    QStringList names;
    for (const StepSpec &spec : steps()) {
        if (!spec.needsCards && !spec.programs)
            names.append(spec.name);
    }
    return names;
}

} // namespace StepCatalogue
