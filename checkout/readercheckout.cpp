#include "checkout/readercheckout.h"

#include "checkout/checkoutobserver.h"
#include "checkout/checkoutstop.h"
#include "checkout/readerjournal.h"
#include "checkout/retestgate.h"
#include "checkout/settingsrestore.h"
#include "checkout/stepcatalogue.h"
#include "serial/serialline.h"
#include "serial/waitclock.h"

namespace {

const QString Interrupted = QStringLiteral("interrupted");

ReaderOutcome outcomeOf(const QList<StepRecord> &steps, bool aborted, bool refused)
{
    if (aborted)
        return ReaderOutcome::Aborted;
    if (refused)
        return ReaderOutcome::Refused;
    bool failed = false;
    for (const StepRecord &step : steps) {
        if (step.outcome == StepOutcome::Error)
            return ReaderOutcome::Error;
        failed = failed || step.outcome == StepOutcome::Fail;
    }
    return failed ? ReaderOutcome::Fail : ReaderOutcome::Pass;
}

} // namespace

ReaderCheckout::ReaderCheckout(SerialLine &line, WaitClock &clock, const CheckoutOptions &options,
                               CheckoutObserver &observer, const CheckoutStop &stop)
    : m_line(line), m_clock(clock), m_options(options), m_observer(observer), m_stop(stop),
      m_transaction(line, clock), m_reader(m_transaction), m_display(m_transaction),
      m_context(
          line, m_reader, m_display, options, stop,
          [this](const QString &question) { return ask(question); }, [this] { noteChange(); }),
      m_catalogue(&StepCatalogue::steps())
{
}

QList<const StepDeclaration *> ReaderCheckout::plan() const
{
    QList<const StepDeclaration *> steps;
    for (const QString &name : m_options.stepNames()) {
        for (const StepDeclaration &declared : *m_catalogue) {
            if (declared.name == name)
                steps.append(&declared);
        }
    }
    return steps;
}

QList<quint8> ReaderCheckout::quickEchoBytes()
{
    return {0x00, 0x01, 0x55, 0x7F, 0x80, 0xAA, 0xFE, 0xFF};
}

void ReaderCheckout::run(ReaderRecord &record)
{
    m_port = record.port;
    m_tool = record.tool;
    m_started = record.started;
    const QList<const StepDeclaration *> steps = plan();
    QString skipReason; // set once the remaining steps cannot or must not run
    bool aborted = false;
    bool refused = false;
    if (m_options.retestLimit && m_retestGate)
        m_retestGate->readerIdentifying();
    for (int index = 0; index < steps.size(); ++index) {
        const StepDeclaration &step = *steps.at(index);
        if (skipReason.isEmpty() && m_stop.requested()) {
            aborted = true;
            skipReason = Interrupted;
        }
        const std::optional<StepRecord> elsewhere =
            skipReason.isEmpty() ? notOnThisModel(step) : std::nullopt;
        const QString notNow = skipReason.isEmpty() ? notRunnable(step, record.steps) : skipReason;
        const bool runs = !elsewhere && notNow.isEmpty();
        StepRecord result = elsewhere ? *elsewhere
                            : runs    ? runStep(step, index, int(steps.size()))
                                      : StepContext::ended(StepOutcome::Skip, notNow);
        if (runs && step.identifiesReader && m_context.found().identification.ok() &&
            !putBackLeftovers(record))
            result = StepContext::ended(StepOutcome::Error,
                                        QStringLiteral("an unfinished checkout left the reader "
                                                       "changed and it could not be put back"));
        result.name = step.name;
        record.steps.append(result);
        m_observer.stepFinished(m_readerIndex, m_port, index, int(steps.size()), result);
        if (runs)
            skipReason = stopsTheRest(step, result, record, refused);
        aborted = aborted || skipReason == Interrupted;
    }
    const Identification &identification = m_context.found().identification;
    if (identification.version)
        record.firmware = *identification.version;
    if (identification.modelType)
        record.modelType = *identification.modelType;
    if (identification.serialNumber)
        record.serialNumber = *identification.serialNumber;
    record.restored = restore();
    record.outcome = outcomeOf(record.steps, aborted, refused);
}

QString ReaderCheckout::stopsTheRest(const StepDeclaration &step, const StepRecord &result,
                                     ReaderRecord &record, bool &refused)
{
    if (m_stop.requested())
        return Interrupted;
    if (result.outcome == StepOutcome::Error)
        return QStringLiteral("not run: %1 had an error").arg(result.name);
    if (m_context.found().unknownModel())
        return QStringLiteral("not run: the model is not known");
    if (step.identifiesReader && result.outcome == StepOutcome::Pass && m_options.retestLimit) {
        record.refusal = retestRefusal(record);
        refused = !record.refusal.isEmpty();
        if (refused)
            return QStringLiteral("not run: ") + record.refusal;
    }
    return {};
}

std::optional<StepRecord> ReaderCheckout::notOnThisModel(const StepDeclaration &step) const
{
    const ReaderModel *model = m_context.found().model;
    if (!model || step.runsOn(*model))
        return std::nullopt;
    const QString reason = QStringLiteral("a %1 has no Tarvik protocol").arg(model->name());
    if (m_options.steps.isEmpty())
        return StepContext::ended(StepOutcome::Skip, reason);
    return StepContext::ended(StepOutcome::Error,
                              QStringLiteral("the plan names this step, but %1").arg(reason));
}

QString ReaderCheckout::retestRefusal(ReaderRecord &record)
{
    const Identification &identification = m_context.found().identification;
    if (!identification.serialNumber)
        return {};
    const RetestGate::Answer answer =
        m_retestGate ? m_retestGate->ask(*identification.serialNumber, *m_options.retestLimit)
                     : RetestGate::Answer{};
    record.retestLimitChecked = answer.checked;
    return answer.refusal;
}

QString ReaderCheckout::notRunnable(const StepDeclaration &step,
                                    const QList<StepRecord> &done) const
{
    if (step.needsOperator() && !m_options.prompt)
        return QStringLiteral("needs an operator to %1").arg(step.operatorTask);
    // What is stored in a reader stays there: only a reader that passed everything so far is
    // programmed.
    if (!step.programs)
        return {};
    for (const StepRecord &earlier : done) {
        if (earlier.outcome == StepOutcome::Fail || earlier.outcome == StepOutcome::Error)
            return QStringLiteral("not run: %1 did not pass").arg(earlier.name);
    }
    return {};
}

StepRecord ReaderCheckout::runStep(const StepDeclaration &step, int index, int count)
{
    m_observer.stepStarted(m_readerIndex, m_port, index, count, step.name);
    const qint64 start = m_clock.elapsedMicroseconds();
    m_context.setStep(&step);
    StepRecord result = step.run(m_context);
    m_context.setStep(nullptr);
    // Every value a step records is one its declaration names: a measurement without one would
    // carry no unit and no limit and pass unjudged.
    if (const QStringList undeclared = step.undeclared(result); !undeclared.isEmpty())
        result = StepContext::ended(StepOutcome::Error,
                                    QStringLiteral("measured %1, which the step does not declare")
                                        .arg(undeclared.join(QStringLiteral(", "))));
    result.durationMs = (m_clock.elapsedMicroseconds() - start + 500) / 1000;
    if (step.identifiesReader && m_context.found().identification.ok())
        m_observer.readerIdentified(m_readerIndex, m_port, m_context.found().identification);
    return result;
}

FoundSettings ReaderCheckout::changed() const
{
    const ReaderFindings &findings = m_context.found();
    const Identification &identification = findings.identification;
    FoundSettings found;
    found.port = m_port;
    found.serialNumber = identification.serialNumber ? int(*identification.serialNumber) : 0;
    found.slotCount = findings.slotCount();
    found.tool = m_tool;
    found.started = m_started;
    if (findings.selectionTouched && findings.status)
        found.selectedSlot = findings.status->selectedSlot;
    if (findings.clocksTouched && !findings.clocksProgrammed && findings.clocks)
        found.clocks = *findings.clocks;
    return found;
}

void ReaderCheckout::noteChange()
{
    if (!m_journal)
        return;
    const QString problem = m_journal->keep(changed());
    if (!problem.isEmpty())
        m_observer.notice(m_readerIndex, m_port,
                          QStringLiteral("warning: %1; a checkout that does not end now leaves "
                                         "the reader changed")
                              .arg(problem));
}

bool ReaderCheckout::putBackLeftovers(ReaderRecord &record)
{
    if (!m_journal)
        return true;
    const SettingsRestore::Leftovers leftovers = SettingsRestore(m_reader).putBackLeftovers(
        *m_journal, m_port, int(*m_context.found().identification.serialNumber));
    for (const QString &note : leftovers.notes)
        m_observer.notice(m_readerIndex, m_port, note);
    record.restoredPrevious = leftovers.restored;
    return !leftovers.failed;
}

bool ReaderCheckout::restore()
{
    const FoundSettings found = changed();
    if (found.isEmpty())
        return true; // nothing was changed
    if (!m_line.isOpen())
        return false; // the note stays for the next checkout of the port
    const bool restored = SettingsRestore(m_reader).putBack(found);
    if (restored && m_journal)
        m_journal->forget(m_port, found.serialNumber);
    return restored;
}

std::optional<bool> ReaderCheckout::ask(const QString &question)
{
    const Identification &identification = m_context.found().identification;
    const QString serial = identification.serialNumber
                               ? Identification::serialText(*identification.serialNumber)
                               : QString();
    return m_observer.ask(m_readerIndex, m_port, serial, question);
}
