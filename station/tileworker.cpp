#include "station/tileworker.h"

#include "checkout/measurementsentences.h"

#include "device/identification.h"
#include "emulator/linefactory.h"
#include "outputs/checkoutoutputs.h"

#include <cstdio>

TileWorker::TileWorker(const StationSetup &setup, QString port)
    : m_setup(setup), m_port(std::move(port)),
      m_runner(setup.clocks, setup.lines, setup.options, *this)
{
    setup.outputs->attach(m_runner);
    m_runner.setRetestGate(setup.retestGate);
    m_runner.setJournal(setup.journal, LineFactory::emulatedPortNames());
}

void TileWorker::check(const std::shared_ptr<CheckoutStop> &stop,
                       const OperatorAndLot &operatorAndLot, const CheckoutOptions &options)
{
    {
        const std::lock_guard lock(m_answerLock);
        m_stop = stop;
    }
    m_runner.setOperator(operatorAndLot.operatorName);
    m_runner.setLot(operatorAndLot.lot);
    m_runner.setOptions(options);
    m_runner.checkReader(0, m_port, *stop);
}

void TileWorker::readerFinished(int /*reader*/, const ReaderRecord &record)
{
    // The tile shows the outcome now, whatever the database does: the runner hands the record
    // to its sinks (the station's records) only after this, so the window hears of the
    // checkout before it hears how its record was kept.
    emit finished(record);
}

void TileWorker::notice(int /*reader*/, const QString &port, const QString &text)
{
    std::fprintf(stderr, "vorn-station: %s: %s\n", qPrintable(port), qPrintable(text));
}

void TileWorker::probe()
{
    const std::optional<Identification> identification = m_runner.probe(m_port);
    if (!identification) {
        emit probed(false, {}, {});
        return;
    }
    emit probed(true, Identification::modelName(*identification->modelType),
                Identification::serialText(*identification->serialNumber));
}

void TileWorker::answer(bool yes)
{
    {
        const std::lock_guard lock(m_answerLock);
        m_answer = yes;
    }
    m_answered.notify_all();
}

void TileWorker::wake()
{
    {
        // Taking the lock orders the stop request before the waiting checkout looks again.
        const std::lock_guard lock(m_answerLock);
    }
    m_answered.notify_all();
}

void TileWorker::stepStarted(int /*reader*/, const QString & /*port*/, int stepIndex, int stepCount,
                             const QString &stepName)
{
    emit stepRunning(stepIndex, stepCount, stepName);
}

void TileWorker::stepFinished(int /*reader*/, const QString & /*port*/, int /*stepIndex*/,
                              int /*stepCount*/, const StepRecord &step)
{
    if (step.outcome == StepOutcome::Fail)
        emit stepFailed(MeasurementSentences::failureLines(step).join(QLatin1Char('\n')));
}

void TileWorker::readerIdentified(int /*reader*/, const QString & /*port*/,
                                  const Identification &identification)
{
    // The tile shows the reader's model and serial number as soon as the reader has told them,
    // not only once the checkout is over.
    emit identified(Identification::modelName(*identification.modelType),
                    Identification::serialText(*identification.serialNumber));
}

std::optional<bool> TileWorker::ask(int /*reader*/, const QString & /*port*/,
                                    const QString & /*serial*/, const QString &question)
{
    std::unique_lock lock(m_answerLock);
    m_answer.reset();
    emit questionAsked(question);
    m_answered.wait(lock, [this] { return m_answer.has_value() || m_stop->requested(); });
    return m_answer;
}
