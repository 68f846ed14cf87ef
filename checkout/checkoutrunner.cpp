#include "checkout/checkoutrunner.h"

#include "checkout/checkoutobserver.h"
#include "checkout/checkoutsink.h"
#include "checkout/readercheckout.h"
#include "device/readercommands.h"
#include "serial/devicetransaction.h"
#include "serial/exchangetrace.h"
#include "serial/serialline.h"
#include "serial/waitclock.h"

#include <QThread>

#include <mutex>
#include <vector>

CheckoutRunner::CheckoutRunner(ClockMaker clocks, LineMaker lines, CheckoutOptions options,
                               CheckoutObserver &observer)
    : m_clocks(std::move(clocks)), m_lines(std::move(lines)), m_options(options),
      m_observer(observer)
{
}

ReaderRecord CheckoutRunner::checkReader(int reader, const QString &port, const CheckoutStop &stop,
                                         bool *portOpened) const
{
    ReaderRecord record;
    record.id = ReaderRecord::newId();
    record.tool = m_tool;
    record.toolVersion = m_toolVersion;
    record.station = m_station;
    record.operatorName = m_operator;
    record.lot = m_lot;
    record.options = m_options.toJson();
    record.plan = m_options.plan;
    record.port = port;
    record.started = QDateTime::currentDateTimeUtc();
    for (CheckoutSink *sink : m_sinks)
        sink->readerStarted(record);

    const std::unique_ptr<WaitClock> clock = m_clocks();
    const qint64 start = clock->elapsedMicroseconds();
    const std::unique_ptr<SerialLine> line = m_lines(port, *clock);
    const bool opened = line->open();
    if (portOpened)
        *portOpened = opened;
    if (!opened) {
        const QString reason =
            m_openFailureWording ? m_openFailureWording(port, *line) : line->errorText();
        record = notOpened(std::move(record), reason);
    } else {
        const std::unique_ptr<ExchangeTrace> trace =
            m_traces ? m_traces(reader, port, *clock) : nullptr;
        ReaderCheckout checkout(*line, *clock, m_options, m_observer, stop);
        checkout.setReaderIndex(reader);
        checkout.setRetestGate(m_retestGate);
        checkout.setTrace(trace.get());
        checkout.setJournal(m_unjournalledPorts.contains(port) ? nullptr : m_journal);
        checkout.run(record);
        line->close();
    }
    record.durationMs = (clock->elapsedMicroseconds() - start + 500) / 1000;
    m_observer.readerFinished(reader, record);
    for (CheckoutSink *sink : m_sinks)
        sink->readerChecked(record);
    return record;
}

std::optional<Identification> CheckoutRunner::probe(const QString &port) const
{
    const std::unique_ptr<WaitClock> clock = m_clocks();
    const std::unique_ptr<SerialLine> line = m_lines(port, *clock);
    if (!line->open())
        return std::nullopt;
    DeviceTransaction transaction(*line, *clock);
    const Identification identification = ReaderCommands(transaction).identify();
    line->close();
    if (!identification.ok())
        return std::nullopt;
    return identification;
}

CheckoutRun CheckoutRunner::run(const QStringList &ports)
{
    CheckoutRun run;
    run.tool = m_tool;
    run.toolVersion = m_toolVersion;
    run.station = m_station;
    run.started = QDateTime::currentDateTimeUtc();

    // The results are handed over under a standard mutex: QThread::wait() orders them just as
    // well, but a thread sanitizer only sees orderings made by what it can watch.
    std::mutex resultsLock;
    std::vector<ReaderRecord> records(std::size_t(ports.size()));
    std::vector<char> opened(std::size_t(ports.size()), 0);
    std::vector<std::unique_ptr<QThread>> threads;
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const auto index = std::size_t(i);
        threads.emplace_back(
            QThread::create([this, &resultsLock, &records, &opened, &ports, index] {
                bool portOpened = false;
                ReaderRecord record =
                    checkReader(int(index), ports.at(qsizetype(index)), m_stop, &portOpened);
                const std::lock_guard lock(resultsLock);
                records[index] = std::move(record);
                opened[index] = portOpened ? 1 : 0;
            }));
        threads.back()->start();
    }
    for (const std::unique_ptr<QThread> &thread : threads)
        thread->wait();

    const std::lock_guard lock(resultsLock);
    m_unopenedPorts.clear();
    for (std::size_t i = 0; i < records.size(); ++i) {
        run.readers.append(records[i]);
        if (!opened[i])
            m_unopenedPorts.append(ports.at(qsizetype(i)));
    }
    for (CheckoutSink *sink : m_sinks)
        sink->runFinished(run);
    return run;
}

ReaderRecord CheckoutRunner::notOpened(ReaderRecord record, const QString &reason) const
{
    const QStringList names = m_options.stepNames();
    for (const QString &name : names) {
        StepRecord step;
        step.name = name;
        step.outcome = record.steps.isEmpty() ? StepOutcome::Error : StepOutcome::Skip;
        step.message = record.steps.isEmpty()
                           ? QStringLiteral("the port did not open: %1").arg(reason)
                           : QStringLiteral("not run: the port did not open");
        record.steps.append(step);
    }
    record.outcome = ReaderOutcome::Error;
    record.restored = true; // nothing was sent
    return record;
}
