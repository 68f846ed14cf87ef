#pragma once

#include "checkout/checkoutrecord.h"

#include <QString>
#include <QStringList>

// What a failed measurement means, in one sentence an operator understands ("The operator saw
// display dots that did not light."), keyed by the measurement's name; the value and the limit
// follow it as the details. Said in the language of the program that shows it (the station
// translates, the records and the dashboard read English), while the record keeps only the
// names and values.
namespace MeasurementSentences {

// The sentence for a measurement outside its limit; detail is what the step saw besides (the
// echo's "0x00 came back as 0x08"), where the sentence has room for it.
QString sentence(const Measurement &measurement, const QString &detail = {});
// "measured 0 bytes, limit = 8 bytes"
QString valueAndLimit(const Measurement &measurement);
// What went wrong in a step that did not pass, for a line of its own beside the step's name: the
// failed measurements' sentences with their values and limits, or else the step's message.
QString stepText(const StepRecord &step);
// Each failed measurement of the step as its sentence and then its value and limit; a step that
// failed without a measurement outside its limit (a port that did not open) is named with its
// message.
QStringList failureLines(const StepRecord &step);

} // namespace MeasurementSentences
