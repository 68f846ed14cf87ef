#include "station/tileworker.h"

#include "device/identification.h"
#include "device/readercommands.h"
#include "serial/devicetransaction.h"
#include "serial/serialline.h"
#include "serial/waitclock.h"
#include "station/stationsetup.h"

namespace {

const QString IdentifyStep = QStringLiteral("identify");

} // namespace

TileWorker::TileWorker(const StationSetup &setup, QString port)
    : m_setup(setup), m_port(std::move(port)),
      m_runner(setup.clocks, setup.lines, setup.options, *this)
{
    m_runner.setStation(setup.station);
    m_runner.setTool(QStringLiteral("vorn-station"));
    for (CheckoutSink *sink : setup.sinks)
        m_runner.addSink(*sink);
}

void TileWorker::check(const std::shared_ptr<CheckoutStop> &stop)
{
    {
        const std::lock_guard lock(m_answerLock);
        m_stop = stop;
    }
    const ReaderRecord record = m_runner.checkReader(0, m_port, *stop);
    const QString warning = m_setup.keep ? m_setup.keep(record) : QString();
    emit finished(record, warning);
}

void TileWorker::probe()
{
    const std::unique_ptr<WaitClock> clock = m_setup.clocks();
    const std::unique_ptr<SerialLine> line = m_setup.lines(m_port, *clock);
    if (!line->open()) {
        emit probed(false, {}, {});
        return;
    }
    DeviceTransaction transaction(*line, *clock);
    ReaderCommands reader(transaction);
    const Identification identification = reader.identify();
    line->close();
    if (!identification.ok()) {
        emit probed(false, {}, {});
        return;
    }
    emit probed(true, Identification::modelName(*identification.modelType),
                Identification::serialText(*identification.serialNumber));
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
    // The tile shows the reader's model and serial number as soon as the reader has told them,
    // not only once the checkout is over.
    if (step.name != IdentifyStep)
        return;
    const Measurement *model = step.measurement(QStringLiteral("model_type"));
    const Measurement *serial = step.measurement(QStringLiteral("serial"));
    if (model && serial)
        emit identified(Identification::modelName(quint8(model->value.toInt())),
                        Identification::serialText(quint16(serial->value.toInt())));
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
