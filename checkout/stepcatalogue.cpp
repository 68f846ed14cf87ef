#include "checkout/stepcatalogue.h"

#include "device/readerprotocol.h"
#include "device/timesetting.h"

namespace {

using Value = MeasurementDeclaration::Value;

const QString ModelSlots = QStringLiteral("the model's slots");

MeasurementDeclaration number(const char *name, const char *title,
                              const MeasurementLimit &limit = MeasurementLimit::none(),
                              const char *unit = "")
{
    return {
        QLatin1String(name), QLatin1String(unit), QLatin1String(title), Value::Number, limit, {}};
}

MeasurementDeclaration fixedNumber(const char *name, const char *title, const QString &limit,
                                   const char *unit = "")
{
    return {QLatin1String(name), QLatin1String(unit),      QLatin1String(title),
            Value::Number,       MeasurementLimit::none(), limit};
}

MeasurementDeclaration flag(const char *name, const char *title, const QString &fixedLimit = {})
{
    return {QLatin1String(name),      {},        QLatin1String(title), Value::Bool,
            MeasurementLimit::none(), fixedLimit};
}

const QString OperatorsYes = QStringLiteral("= true, the operator's yes");

QList<MeasurementDeclaration> cardRound(const char *round, const char *doing, const char *expected)
{
    const QString name = QLatin1String(round);
    const QString seen = QStringLiteral("cards seen after ") + QLatin1String(doing);
    const auto declared = [&](const char *what, const QString &title, const QString &limit) {
        return MeasurementDeclaration{QStringLiteral("cards_%1_%2").arg(name, QLatin1String(what)),
                                      {},
                                      title,
                                      Value::Number,
                                      MeasurementLimit::none(),
                                      limit};
    };
    QList<MeasurementDeclaration> declarations{
        {QStringLiteral("cards_%1_confirmed").arg(name),
         {},
         QStringLiteral("cards %1 (operator)").arg(name),
         Value::Bool,
         MeasurementLimit::none(),
         OperatorsYes},
        declared("occupancy", seen, QLatin1String(expected)),
        declared("tarvik", seen + QStringLiteral(", Tarvik status"), QLatin1String(expected)),
    };
    return declarations;
}

enum Needs
{
    Nothing = 0,
    Cards = 1,
    Programs = 2,
};

StepDeclaration stepDeclaration(const char *name, const char *title,
                                const QList<MeasurementDeclaration> &measurements,
                                const QStringList &needsSteps = {}, int needs = Nothing,
                                const char *operatorTask = "")
{
    return {
        QLatin1String(name),  QLatin1String(title),    measurements, QLatin1String(operatorTask),
        (needs & Cards) != 0, (needs & Programs) != 0, needsSteps};
}

QList<StepDeclaration> makeSteps()
{
    const MeasurementLimit models = MeasurementLimit::oneOf(
        {int(ReaderProtocol::FourSlotModel), int(ReaderProtocol::EightSlotModel)});
    const QStringList identify{QStringLiteral("identify")};
    const QStringList status{QStringLiteral("status")};
    return {
        stepDeclaration("identify", "Identification: model, firmware and serial number",
                        {number("model_type", "model type", models),
                         number("firmware", "firmware version"),
                         number("serial", "serial number")}),
        stepDeclaration(
            "status", "Status: occupied slots and the selected slot",
            {number("occupancy", "occupied slots"),
             fixedNumber("selected_slot", "selected slot", QStringLiteral("1 to ") + ModelSlots)},
            identify),
        stepDeclaration("select-slot", "Every slot selected in turn",
                        {fixedNumber("slots_selectable", "slots that can be selected",
                                     QStringLiteral("= ") + ModelSlots)},
                        status),
        stepDeclaration("clocks", "Card clocks: four test patterns, never stored",
                        {fixedNumber("clock_slots_following", "slots whose clock follows",
                                     QStringLiteral("= ") + ModelSlots)},
                        identify),
        stepDeclaration("tarvik", "Tarvik status of an eight-slot reader",
                        {fixedNumber("tarvik_occupancy", "occupied slots, Tarvik status",
                                     QStringLiteral("= the status's occupancy"))},
                        status),
        stepDeclaration("time", "Time setting",
                        {number("time_setting_s", "time setting",
                                MeasurementLimit::range(0, TimeSetting::MaxSeconds), "s"),
                         number("time_setting_counts", "time setting in counts")}),
        stepDeclaration("echo", "Echo of byte values",
                        {fixedNumber("bytes_echoed", "bytes echoed unchanged",
                                     QStringLiteral("= the bytes sent"), "bytes")}),
        stepDeclaration(
            "lines", "Modem lines, recorded: they follow the cards",
            {flag("cts_active", "CTS line active"), flag("dcd_active", "DCD line active")}),
        stepDeclaration("display", "Display test, judged by the operator",
                        {flag("display_dots_lit", "every display dot lit", OperatorsYes)}, {},
                        Nothing, "look at the display"),
        stepDeclaration("cards", "Cards inserted into every slot, then removed",
                        cardRound("inserted", "inserting", "= every slot of the model") +
                            cardRound("removed", "removing", "= no slot"),
                        identify, Cards, "insert and remove cards"),
        stepDeclaration("program-clocks", "Card clocks stored in the reader",
                        {fixedNumber("clock_slot_N", "clock of slot N",
                                     QStringLiteral("= the clock stored"), "MHz")},
                        identify, Programs),
        stepDeclaration("program-time", "Time setting stored in the reader",
                        {fixedNumber("stored_time_setting_s", "stored time setting",
                                     QStringLiteral("= the setting stored"), "s")},
                        {}, Programs),
    };
}

} // namespace

bool MeasurementDeclaration::matches(const QString &measurementName) const
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

QString MeasurementDeclaration::limitText() const
{
    if (fixed())
        return fixedLimit;
    const QString text = defaultLimit.text(unit);
    return text.isEmpty() ? QStringLiteral("none") : text;
}

const MeasurementDeclaration *StepDeclaration::measurement(const QString &measurementName) const
{
    for (const MeasurementDeclaration &declared : measurements) {
        if (declared.matches(measurementName))
            return &declared;
    }
    return nullptr;
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

} // namespace StepCatalogue
