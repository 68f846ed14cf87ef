#include "station/stationrecords.h"

#include <QThread>

StationRecords::StationRecords(RecordsLocation location, RecordsLocation outbox, QObject *parent)
    : QObject(parent), m_location(std::move(location)),
      m_worker(new RecordsWorker(m_location, std::move(outbox)))
{
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("records"));
    m_worker->moveToThread(m_thread);

    connect(this, &StationRecords::listRequested, m_worker, &RecordsWorker::list);
    connect(this, &StationRecords::readRequested, m_worker, &RecordsWorker::read);
    connect(this, &StationRecords::certificateRequested, m_worker,
            &RecordsWorker::writeCertificate);

    connect(m_worker, &RecordsWorker::kept, this, &StationRecords::kept);
    connect(m_worker, &RecordsWorker::listed, this, &StationRecords::answerListed);
    connect(m_worker, &RecordsWorker::recordRead, this, &StationRecords::recordRead);
    connect(m_worker, &RecordsWorker::certificateWritten, this,
            &StationRecords::certificateWritten);
    connect(this, &StationRecords::yieldRequested, m_worker, &RecordsWorker::readYield);
    connect(m_worker, &RecordsWorker::yieldRead, this, &StationRecords::yieldRead);
    connect(m_worker, &RecordsWorker::working, this, &StationRecords::workerBusy);
    connect(m_worker, &RecordsWorker::reached, this, &StationRecords::reached);

    m_slow.setSingleShot(true);
    m_slow.setInterval(SlowRequestMs);
    connect(&m_slow, &QTimer::timeout, this, [this] { setAnswering(false, m_reason); });
    m_thread->start();
}

StationRecords::~StationRecords()
{
    m_worker->dropReads();
    // Queued behind every record handed over so far: those are kept first.
    RecordsWorker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [worker] {
            worker->close();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    m_thread->wait();
    delete m_worker;
}

void StationRecords::keep(const ReaderRecord &record, Kept then)
{
    // Queued, like every request, so that records and reads keep their order.
    RecordsWorker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker, [worker, record, then] { then(worker->keep(record)); }, Qt::QueuedConnection);
}

void StationRecords::readTodaysYield(const QString &station)
{
    const QDate today = QDate::currentDate();
    emit yieldRequested(station, today.startOfDay(), today.addDays(1).startOfDay(),
                        QPrivateSignal());
}

void StationRecords::list(const RecordsQuery &query)
{
    m_listWaiting = query;
    if (!m_listOut)
        sendList();
}

void StationRecords::sendList()
{
    m_listOut = true;
    emit listRequested(*std::exchange(m_listWaiting, std::nullopt), QPrivateSignal());
}

void StationRecords::answerListed(const ListResult &result)
{
    m_listOut = false;
    if (m_listWaiting) {
        sendList(); // this answer is already out of date
        return;
    }
    emit listed(result);
}

void StationRecords::read(const QString &id)
{
    emit readRequested(id, QPrivateSignal());
}

void StationRecords::writeCertificate(const QString &id, const QString &path)
{
    emit certificateRequested(id, path, QPrivateSignal());
}

void StationRecords::workerBusy(bool busy)
{
    if (!busy)
        m_slow.stop();
    else if (!m_slow.isActive())
        m_slow.start();
}

void StationRecords::reached(bool answering, const QString &reason)
{
    setAnswering(answering, answering ? QString() : reason);
}

void StationRecords::setAnswering(bool answering, const QString &reason)
{
    const bool changed = answering != m_answering || reason != m_reason;
    m_answering = answering;
    m_reason = reason;
    if (changed)
        emit answeringChanged(answering);
}
