#pragma once

#include "checkout/measurement.h"

#include <QList>
#include <QString>
#include <QStringList>

// What a measurement is, before any reader is measured: its name, unit, title in words, the
// kind of value it takes and its default limit. A name with "_N" at its end is a pattern for
// one measurement per slot ("clock_slot_N": clock_slot_1 ... clock_slot_8). A limit that comes
// from the reader itself (its slot count, its own status) or from what the checkout sent or
// stored is fixed: a plan cannot override it, and limitText says where it comes from.
struct MeasurementDeclaration
{
    enum class Value
    {
        Number,
        Bool,
    };

    QString name;
    QString unit;
    QString title;
    Value value = Value::Number;
    MeasurementLimit defaultLimit; // for a fixed limit: none, the reader's is made at run time
    QString fixedLimit;            // in words, where a fixed limit comes from; empty if not fixed

    bool fixed() const { return !fixedLimit.isEmpty(); }
    bool isPattern() const { return name.endsWith(QLatin1String("_N")); }
    // The name itself, or for a pattern its name with a slot number (1-8) for N.
    bool matches(const QString &measurementName) const;
    // The default limit as a reader of a plan sees it: "one of 4, 8", "= the model's slots".
    QString limitText() const;
};

// One step of the checkout as data: its name, title in words, its measurements, and what it
// needs to run: an operator to look or to answer, cards to insert, steps before it whose
// findings it builds on, and whether it stores settings in the reader for good.
struct StepDeclaration
{
    QString name;
    QString title;
    QList<MeasurementDeclaration> measurements;
    QString operatorTask; // what an operator must do for it ("look at the display"), if any
    bool needsCards = false;
    bool programs = false;
    QStringList needsSteps;

    bool needsOperator() const { return !operatorTask.isEmpty(); }
    const MeasurementDeclaration *measurement(const QString &measurementName) const;
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

} // namespace StepCatalogue
