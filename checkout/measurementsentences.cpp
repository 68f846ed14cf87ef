#include "checkout/measurementsentences.h"

#include "checkout/measurementtitles.h"
#include "checkout/stepcatalogue.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <array>

namespace {

struct Sentence
{
    const char *measurement; // a name, or a pattern ending in N
    const char *text;        // %1: the detail, or the slot of a pattern
};

// QT_TRANSLATE_NOOP leaves the texts in English here and marks them for the translators; they
// are translated when said.
constexpr std::array Sentences{
    Sentence{"model_type", QT_TRANSLATE_NOOP("MeasurementSentences",
                                             "The reader is of a model this plan does not check.")},
    Sentence{"firmware",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The reader's firmware is not the one "
                                                       "the plan asks for.")},
    Sentence{"serial",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The serial number is not one the plan "
                                                       "accepts.")},
    Sentence{"occupancy", QT_TRANSLATE_NOOP("MeasurementSentences",
                                            "The reader reports cards that are not as expected.")},
    Sentence{"selected_slot", QT_TRANSLATE_NOOP("MeasurementSentences",
                                                "The reader reports a slot it does not have as "
                                                "selected.")},
    Sentence{"slots_selectable",
             QT_TRANSLATE_NOOP("MeasurementSentences", "A slot could not be selected.")},
    Sentence{"clock_slots_following",
             QT_TRANSLATE_NOOP("MeasurementSentences", "A slot's card clock did not follow the "
                                                       "test patterns.")},
    Sentence{"tarvik_occupancy",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The Tarvik status disagrees with the "
                                                       "reader's status.")},
    Sentence{"time_setting_s",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The time setting is out of range.")},
    Sentence{"time_setting_counts",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The time setting in counts is out of "
                                                       "range.")},
    Sentence{"bytes_echoed",
             QT_TRANSLATE_NOOP("MeasurementSentences", "Echo: a byte came back changed.")},
    Sentence{"cts_active",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The CTS line is not as the plan expects.")},
    Sentence{"dcd_active",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The DCD line is not as the plan expects.")},
    Sentence{"display_dots_lit",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The operator saw display dots that did not "
                                                       "light.")},
    Sentence{"cards_inserted_confirmed",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The operator did not insert the cards.")},
    Sentence{"cards_inserted_occupancy",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The reader did not see every card "
                                                       "inserted.")},
    Sentence{"cards_inserted_tarvik",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The Tarvik status did not show every card "
                                                       "inserted.")},
    Sentence{"cards_removed_confirmed",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The operator did not remove the cards.")},
    Sentence{"cards_removed_occupancy",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The reader still saw a card after the "
                                                       "cards were removed.")},
    Sentence{"cards_removed_tarvik",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The Tarvik status still showed a card "
                                                       "after the cards were removed.")},
    Sentence{"clock_slot_N", QT_TRANSLATE_NOOP("MeasurementSentences",
                                               "The card clock stored for slot %1 did not read "
                                               "back.")},
    Sentence{"stored_time_setting_s",
             QT_TRANSLATE_NOOP("MeasurementSentences", "The stored time setting did not read "
                                                       "back.")},
};

// With the detail the step saw, where it says more than the sentence: the echo step tells which
// byte came back as which ("0x00 came back as 0x02").
const char *const EchoChanged =
    QT_TRANSLATE_NOOP("MeasurementSentences", "Echo: %1 came back as %2.");
const char *const EchoDetail = QT_TRANSLATE_NOOP("MeasurementSentences", "Echo: %1.");
const char *const Outside = QT_TRANSLATE_NOOP("MeasurementSentences", "%1 is outside its limit.");

QString said(const char *text)
{
    return QCoreApplication::translate("MeasurementSentences", text);
}

const Sentence *sentenceFor(const QString &name)
{
    const MeasurementDeclaration *declared = StepCatalogue::measurement(name);
    const QString key = declared ? declared->name : name;
    for (const Sentence &sentence : Sentences)
        if (key == QLatin1String(sentence.measurement))
            return &sentence;
    return nullptr;
}

// What follows the step's failures in its message: "0x00 came back as 0x08".
QString detailOf(const StepRecord &step)
{
    const int colon = step.message.indexOf(QLatin1String(": "));
    return colon < 0 ? QString() : step.message.mid(colon + 2);
}

// A sentence with its value and limit for each measurement outside its limit.
QStringList sentences(const StepRecord &step)
{
    QStringList lines;
    const QString detail = detailOf(step);
    for (const Measurement &measurement : step.measurements) {
        if (measurement.passed())
            continue;
        lines.append(MeasurementSentences::sentence(measurement, detail) + QLatin1Char(' ') +
                     said(QT_TRANSLATE_NOOP("MeasurementSentences", "(%1)"))
                         .arg(MeasurementSentences::valueAndLimit(measurement)));
    }
    return lines;
}

} // namespace

QString MeasurementSentences::sentence(const Measurement &measurement, const QString &detail)
{
    const Sentence *sentence = sentenceFor(measurement.name);
    if (!sentence)
        return said(Outside).arg(MeasurementTitles::title(measurement.name));
    if (measurement.name == QLatin1String("bytes_echoed") && !detail.isEmpty()) {
        static const QRegularExpression changed(
            QStringLiteral("^(0x[0-9A-Fa-f]{2}) came back as (0x[0-9A-Fa-f]{2})$"));
        const QRegularExpressionMatch match = changed.match(detail);
        return match.hasMatch() ? said(EchoChanged).arg(match.captured(1), match.captured(2))
                                : said(EchoDetail).arg(detail);
    }
    const QString text = said(sentence->text);
    if (!text.contains(QLatin1String("%1")))
        return text;
    // A pattern's slot: the digits its name ends with.
    qsizetype digits = measurement.name.size();
    while (digits > 0 && measurement.name.at(digits - 1).isDigit())
        --digits;
    return text.arg(measurement.name.mid(digits));
}

QString MeasurementSentences::valueAndLimit(const Measurement &measurement)
{
    const QString limit = measurement.limitText();
    return limit.isEmpty()
               ? said(QT_TRANSLATE_NOOP("MeasurementSentences", "measured %1"))
                     .arg(measurement.valueText())
               : said(QT_TRANSLATE_NOOP("MeasurementSentences", "measured %1, limit %2"))
                     .arg(measurement.valueText(), limit);
}

QStringList MeasurementSentences::failureLines(const StepRecord &step)
{
    const QStringList said = sentences(step);
    if (!said.isEmpty())
        return said;
    return {step.message.isEmpty() ? step.name
                                   : QStringLiteral("%1: %2").arg(step.name, step.message)};
}

QString MeasurementSentences::stepText(const StepRecord &step)
{
    const QStringList said = sentences(step);
    return said.isEmpty() ? step.message : said.join(QLatin1Char(' '));
}
