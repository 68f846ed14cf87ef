#include "station/stationrecords.h"

StationRecords::StationRecords(RecordsLocation location, RecordsLocation outbox, QObject *parent)
    : QObject(parent), m_location(std::move(location)), m_worker(m_location, std::move(outbox)),
      m_service(m_location, RecordsWorker::policy(), [this](bool answering, const QString &reason) {
          answer([this, answering, reason] { reached(answering, reason); });
      })
{
    m_slow.setSingleShot(true);
    m_slow.setInterval(SlowRequestMs);
    connect(&m_slow, &QTimer::timeout, this, [this] { setAnswering(false, m_reason); });
}

StationRecords::~StationRecords()
{
    // The records handed over so far are still kept as the service ends.
    m_reading = false;
}

void StationRecords::request(RecordsService::Work work, bool isRead)
{
    m_service.post([this, work = std::move(work), isRead](RecordsService::Session &session) {
        if (isRead && !m_reading)
            return true;
        answer([this] { workerBusy(true); });
        const bool storeHeld = work(session);
        answer([this] { workerBusy(false); });
        return storeHeld;
    });
}

void StationRecords::answer(std::function<void()> answer)
{
    QMetaObject::invokeMethod(this, std::move(answer), Qt::QueuedConnection);
}

void StationRecords::keep(const ReaderRecord &record, Kept then)
{
    request(
        [this, record, then](RecordsService::Session &session) {
            KeepResult result;
            const bool storeHeld = m_worker.keep(session, record, result);
            answer([this, result] { emit kept(result); });
            then(result.kept);
            return storeHeld;
        },
        false);
}

void StationRecords::readTodaysYield(const QString &station)
{
    const QDate today = QDate::currentDate();
    const QDateTime dayStart = today.startOfDay();
    const QDateTime dayEnd = today.addDays(1).startOfDay();
    ask<YieldResult>(
        [this, station, dayStart, dayEnd](RecordsService::Session &session, YieldResult &result) {
            return m_worker.readYield(session, station, dayStart, dayEnd, result);
        },
        &StationRecords::yieldRead);
}

void StationRecords::list(const RecordsFilter &filter, int limit)
{
    m_listWaiting = std::pair{filter, limit};
    if (!m_listOut)
        sendList();
}

void StationRecords::sendList()
{
    m_listOut = true;
    request(
        [this,
         asked = *std::exchange(m_listWaiting, std::nullopt)](RecordsService::Session &session) {
            ListResult result;
            const bool storeHeld = m_worker.list(session, asked.first, asked.second, result);
            answer([this, result] { answerListed(result); });
            return storeHeld;
        },
        true);
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
    ask<ReadResult>([this, id](RecordsService::Session &session,
                               ReadResult &result) { return m_worker.read(session, id, result); },
                    &StationRecords::recordRead);
}

void StationRecords::writeCertificate(const QString &id, const QString &path)
{
    ask<CertificateResult>(
        [this, id, path](RecordsService::Session &session, CertificateResult &result) {
            return m_worker.writeCertificate(session, id, path, result);
        },
        &StationRecords::certificateWritten);
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
