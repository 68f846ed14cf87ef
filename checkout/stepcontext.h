#pragma once

#include "checkout/checkoutrecord.h"
#include "checkout/readerfindings.h"
#include "device/readercommands.h"
#include "display/displaycommands.h"

#include <QJsonValue>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

struct CheckoutOptions;
class CheckoutStop;
struct StepDeclaration;
class SerialLine;

// What a step of the checkout works with: the reader's commands and display, the line, the
// options, the operator, and what the steps before it found; and the ways a step ends, written
// once for every step.
class StepContext
{
public:
    using Question = std::function<std::optional<bool>(const QString &question)>;

    StepContext(SerialLine &line, ReaderCommands &reader, DisplayCommands &display,
                const CheckoutOptions &options, const CheckoutStop &stop, Question ask,
                std::function<void()> noteChange);

    ReaderCommands &reader() { return m_reader; }
    DisplayCommands &display() { return m_display; }
    SerialLine &line() { return m_line; }
    const CheckoutOptions &options() const { return m_options; }
    ReaderFindings &found() { return m_found; }
    const ReaderFindings &found() const { return m_found; }
    bool stopRequested() const;
    // The operator's answer, or nothing when none can come (the input ended).
    std::optional<bool> ask(const QString &question) { return m_ask(question); }
    // Notes what the reader must get back, as the findings' flags say, before it is changed.
    void noteChange() { m_noteChange(); }

    // The step running now: measured() reads its declarations.
    void setStep(const StepDeclaration *step) { m_step = step; }

    // A value measured, with its declared unit, held against the options' limit for it, or
    // against fixedLimit where the declaration says the limit comes from the reader or the
    // checkout.
    Measurement measured(const QString &name, const QJsonValue &value,
                         const MeasurementLimit &fixedLimit = MeasurementLimit::none()) const;
    // A step that measured: it passes when every measurement is within its limit, and its
    // message names each value outside its limit; what the step saw besides (detail) follows.
    StepRecord measuredStep(const QList<Measurement> &measurements,
                            const QString &detail = {}) const;
    // The step's end when the reader did not answer as the protocol requires.
    StepRecord replyError(DeviceError error, const QString &request) const;
    static StepRecord ended(StepOutcome outcome, const QString &message = {});
    static StepRecord interrupted();
    static StepRecord noAnswer();
    // The occupied slots of an occupancy, for people: "1 3 6", "none".
    static QString cardsText(quint8 occupancy);

private:
    SerialLine &m_line;
    ReaderCommands &m_reader;
    DisplayCommands &m_display;
    const CheckoutOptions &m_options;
    const CheckoutStop &m_stop;
    Question m_ask;
    std::function<void()> m_noteChange;
    const StepDeclaration *m_step = nullptr;
    ReaderFindings m_found;
};
