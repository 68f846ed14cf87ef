#pragma once

#include "checkout/checkoutrecord.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

class RecordsDatabase;

// The small tables the yield report reads instead of every checkout, kept up to date in the
// transaction that stores each checkout, so that a week of a busy line is a few thousand rows
// to add up rather than hundreds of thousands of checkouts to sort.
//
// Every summary is counted per hour (UTC, "2026-12-07T14", the first 13 characters of a stored
// start), so that any window of whole hours adds up rows without looking at a checkout:
//
//   yield_hours      checkouts per outcome
//   yield_steps      failures per step (fail or error), of readers that identified
//   yield_durations  checkouts per duration, rounded to 10 ms, of readers that identified and
//                    were not aborted; per day ("2026-12-07"), as durations take many values
//   yield_chains     see below
//   yield_firsts     readers by the hour of their first attempt ever, the attempt on which
//                    they first passed and its hour (see firstsStep())
//
// and each of them once for all checkouts (dimension "", member "") and once for each station,
// model, firmware, lot and operator (dimension "station", member "line-1"; ...): a report of
// the whole line, narrowed to one of those facts or grouped by one reads the rows of that
// dimension alone.
//
// The yields need each reader's earliest and latest checkout in the window, which do not add
// up across hours. They do when every checkout carries its reader's previous two checkouts:
// a checkout is its reader's first in a window when the previous one lies before the window,
// its second when the one before that does, and "the latest passed" telescopes into "the first
// passed" plus, for every later checkout, its pass less its predecessor's. yield_chains counts
// the checkouts by hour, outcome, and the hours and outcome of those predecessors; a chain
// links the checkouts of one serial number, aborted checkouts left out, within the dimension's
// member, so that a report narrowed to a station follows the reader there alone.
namespace YieldSummaries {

// What a chain follows: every checkout of a reader, or only those sharing one fact.
enum class Dimension
{
    All,
    Station,
    Model,
    Firmware,
    Lot,
    Operator,
    // The plan a checkout ran (its name): not kept in the summaries, so a report by plan, or
    // narrowed to one, counts the checkouts themselves (by their index on plan and time).
    Plan,
};

// Schema step 3: the summaries, filled from the checkouts kept before, and the views
// vorn_yield_by_day and vorn_step_failures for tools that chart the database directly.
QStringList schemaStep();
// A later schema step: the failures per step counted again from the steps table, which
// holds each step of a checkout as a row (schema step 3 leaves them to it).
QStringList stepFailuresStep();
// Schema step: yield_firsts, each reader counted once, in the hour of its first attempt ever
// (an identified checkout that passed, failed or ended in error) with the attempt on which it
// first passed (0: not yet) and that pass's hour; and vorn_yield_by_day's first-pass yield
// from it.
QStringList firstsStep();
// "outcome IN ('pass', 'fail', 'error')": the checkouts that are attempts at a reader's yield.
QString isAttempt();
// Adds a checkout that was just stored (in the same transaction) to every summary; false with
// the reason in the database's errorText().
bool add(RecordsDatabase &database, const ReaderRecord &record);
// Empties the summaries and fills them again from the checkouts, with the statements of the
// schema step; for checkouts written around the store (a generated benchmark file).
bool rebuild(RecordsDatabase &database);

// "2026-12-07T14": the hour of a moment as the summaries keep it.
QString hourOf(const QDateTime &time);

// Names in yield_chains.dimension: "", "station", "model", "firmware", "lot", "operator".
QString dimensionName(Dimension dimension);
// The fact a chain follows, as SQL over the checkouts table (firmware as text, "" if unknown).
QString memberExpression(Dimension dimension);

// The checkouts that meet condition (SQL over the checkouts table) in the shapes of the summary
// tables, with member (an SQL expression over the checkouts, as memberExpression() gives) for
// their member, one row each (a count of 1): what the report reads for a window, or the part
// of one, that the summaries cannot answer. Columns as the tables', without the dimension.
QString checkoutsAsHours(const QString &member, const QString &condition);
QString checkoutsAsSteps(const QString &member, const QString &condition);
QString checkoutsAsDurations(const QString &member, const QString &condition);
// The readers whose first attempt ever meets condition (SQL over the checkouts table, on that
// checkout), one row each: member, hour, attempt (of the first pass, 0 if none), pass_hour (the
// full moment of the first pass, "" if none), readers (1).
QString checkoutsAsFirsts(const QString &member, const QString &condition);
// Chains linked within member among the checkouts that meet condition: how yield_chains is
// filled, too.
QString checkoutsAsChains(const QString &member, const QString &condition);

} // namespace YieldSummaries
