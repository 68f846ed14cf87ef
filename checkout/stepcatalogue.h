#pragma once

#include "checkout/measurement.h"
#include "device/readermodel.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class StepContext;
struct StepRecord;

// What a measurement is, before any reader is measured: its name, unit, title in words, the
// kind of value it takes, its default limit, and the range of the values a reader of a model
// can report for it (which a plan's limit must lie in). A name with "_N" at its end is a
// pattern for one measurement per slot ("clock_slot_N": clock_slot_1 ... clock_slot_8). A
// limit that comes from the reader itself (its slot count, its own status) or from what the
// checkout sent or stored is fixed: a plan cannot override it, and limitText says where it
// comes from.
struct MeasurementDeclaration
{
    enum class Value
    {
        Number,
        Bool,
    };
    using Range = std::function<ValueRange(const ReaderModel &)>;

    QString name;
    QString unit;
    QString title;
    Value value = Value::Number;
    MeasurementLimit defaultLimit; // for a fixed limit: none, the reader's is made at run time
    QString fixedLimit;            // in words, where a fixed limit comes from; empty if not fixed
    Range reported;                // what a model's reader can report; none for true/false

    static MeasurementDeclaration number(const char *name, const char *title,
                                         const MeasurementLimit &limit = MeasurementLimit::none(),
                                         const char *unit = "");
    static MeasurementDeclaration fixedNumber(const char *name, const char *title,
                                              const QString &limit, const char *unit = "");
    static MeasurementDeclaration flag(const char *name, const char *title,
                                       const QString &fixedLimit = {});
    // The declaration with the range of what a reader reports for it.
    MeasurementDeclaration reporting(ValueRange (ReaderModel::*range)() const) const;
    MeasurementDeclaration reporting(ValueRange (*range)()) const;

    bool fixed() const { return !fixedLimit.isEmpty(); }
    bool isPattern() const { return name.endsWith(QLatin1String("_N")); }
    // The name itself, or for a pattern its name with a slot number (1 to the most slots of
    // any model) for N.
    bool matches(const QString &measurementName) const;
    // The default limit as a reader of a plan sees it: "one of 4, 8", "= the model's slots".
    QString limitText() const;
};

// One step of the checkout: its name, title in words, its measurements, what it needs to run
// (an operator to look or to answer, cards to insert, the Tarvik protocol, steps before it
// whose findings it builds on, whether it stores settings in the reader for good), and its
// body, which runs it on a reader.
struct StepDeclaration
{
    using Body = StepRecord (*)(StepContext &context);

    QString name;
    QString title;
    QList<MeasurementDeclaration> measurements;
    Body run = nullptr;
    QString operatorTask; // what an operator must do for it ("look at the display"), if any
    bool needsCards = false;
    bool programs = false;
    bool needsTarvik = false;
    // The step that tells who the reader is: after it, what an earlier checkout left is put
    // back and the retest limit is asked.
    bool identifiesReader = false;
    QStringList needsSteps;

    // A step that needs nothing but a reader; what it needs besides is set on it.
    static StepDeclaration of(const QString &name, const QString &title,
                              const QList<MeasurementDeclaration> &measurements, Body run);

    bool needsOperator() const { return !operatorTask.isEmpty(); }
    // Whether a reader of the model can run it.
    bool runsOn(const ReaderModel &model) const { return !needsTarvik || model.speaksTarvik(); }
    const MeasurementDeclaration *measurement(const QString &measurementName) const;
    // The names of the measurements in step that this declaration does not declare.
    QStringList undeclared(const StepRecord &step) const;
    // The declarations whose limit a plan may set, by name.
    QStringList settableMeasurements() const;
};

// Every step a checkout can run, in the order they run. Everything that lists or names steps
// or measurements (the checkout, plans, summaries, report, station, certificate) reads them
// here.
namespace StepCatalogue {

const QList<StepDeclaration> &steps();
QStringList stepNames();
const StepDeclaration *step(const QString &name);
// The declared of a measurement by its name (a pattern's by any slot's name), and its step.
const MeasurementDeclaration *measurement(const QString &name,
                                          const StepDeclaration **step = nullptr);
// The steps every checkout runs unless told otherwise: all but those needing cards or a value
// to program.
QStringList standardSteps();
// The step that tells who the reader is.
const StepDeclaration &identification();

} // namespace StepCatalogue
