#include "outputs/checkoutoutputs.h"

#include "checkout/checkoutrecord.h"
#include "checkout/checkoutrunner.h"
#include "checkout/jsonsink.h"
#include "checkout/junitsink.h"
#include "emulator/linefactory.h"
#include "outputs/recordkeeping.h"
#include "publish/cfxmessages.h"
#include "publish/publisher.h"
#include "publish/publishsink.h"
#include "serial/openfailuremessage.h"
#include "serial/serialline.h"

#include <QSysInfo>
#include <QTextStream>
#include <QTimer>

namespace {

QString stationOf(const CheckoutOutputs::Choices &choices)
{
    return choices.station.isEmpty() ? QSysInfo::machineHostName() : choices.station;
}

// Why a port did not open, in the same words in every front end: the group to join, the
// program that holds the port.
QString openFailureText(const QString &port, const SerialLine &line)
{
    return OpenFailureMessage().text(line.openFailure(), LineFactory::devicePath(port),
                                     line.errorText());
}

RecordKeeper::Kept &operator+=(RecordKeeper::Kept &total, const RecordKeeper::Kept &more)
{
    total.stored += more.stored;
    total.queued += more.queued;
    total.lost += more.lost;
    total.sent += more.sent;
    return total;
}

} // namespace

CheckoutOutputs::CheckoutOutputs(Choices choices)
    : m_choices(std::move(choices)), m_station(stationOf(m_choices))
{
    if (m_choices.json)
        m_json = std::make_unique<JsonSink>(*m_choices.json);
    if (!m_choices.junitPath.isEmpty())
        m_junit = std::make_unique<JUnitSink>(m_choices.junitPath);
    if (!m_choices.publish)
        return;
    m_publisher = std::make_unique<Publisher>(*m_choices.publish);
    m_publisher->setWarningHandler([this](const QString &warning) {
        m_publishWarned = true;
        warn(warning);
    });
    m_publish = std::make_unique<PublishSink>(
        *m_publisher,
        m_choices.cfxHandle.isEmpty() ? CfxMessages::defaultHandle(m_station) : m_choices.cfxHandle,
        m_choices.ports);
    if (m_choices.publishRetry.count() > 0) {
        m_publishRetry = std::make_unique<QTimer>();
        m_publishRetry->setInterval(m_choices.publishRetry);
        QObject::connect(m_publishRetry.get(), &QTimer::timeout, [this] { m_publisher->retry(); });
        m_publishRetry->start();
        m_publisher->retry(); // what an earlier run left in the spool
    }
}

CheckoutOutputs::~CheckoutOutputs() = default;

QString CheckoutOutputs::prepare() const
{
    return m_junit ? m_junit->prepare() : QString();
}

void CheckoutOutputs::attach(CheckoutRunner &runner)
{
    runner.setTool(m_choices.program);
    runner.setStation(m_station);
    runner.setOpenFailureWording(openFailureText);
    for (CheckoutSink *sink : std::initializer_list<CheckoutSink *>{m_json.get(), m_junit.get()}) {
        if (sink)
            runner.addSink(*sink);
    }
    runner.addSink(*this);
}

void CheckoutOutputs::readerStarted(const ReaderRecord &record)
{
    if (m_publish)
        m_publish->readerStarted(record);
}

void CheckoutOutputs::readerChecked(const ReaderRecord &record)
{
    if (m_keeping)
        m_keeping->keep(record,
                        [this, record](const RecordKeeper::Kept &done) { kept(record, done); });
    else
        kept(record, keepHere(record));
}

RecordKeeper::Kept CheckoutOutputs::keepHere(const ReaderRecord &record)
{
    // Keepers of several readers may run at once: each opens the file for its record (which
    // waits for another writer), and a server is reached through the process's one connection.
    QString lines;
    QTextStream warnings(&lines);
    const RecordKeeper::Kept kept = RecordKeeper(m_choices.records).keep({record}, warnings);
    warnings.flush();
    if (!lines.isEmpty())
        warn(lines);
    return kept;
}

void CheckoutOutputs::kept(const ReaderRecord &record, const RecordKeeper::Kept &kept)
{
    {
        const std::lock_guard lock(m_lock);
        m_kept += kept;
    }
    // A record neither stored nor queued stays off the bus too: the factory's systems must
    // never know a finished unit that no record holds.
    if (kept.lost == 0)
        publishEnded(record);
}

void CheckoutOutputs::publishEnded(const ReaderRecord &record)
{
    if (m_publish)
        m_publish->readerChecked(record);
}

void CheckoutOutputs::warn(const QString &lines)
{
    // The keeper's lines already carry the program's name; the publisher's do not.
    const QString prefix = m_choices.program + QStringLiteral(": ");
    for (const QString &line : lines.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString named = line.startsWith(prefix) ? line : prefix + line;
        if (m_choices.warn) {
            m_choices.warn(named);
            continue;
        }
        const std::lock_guard lock(m_lock);
        m_warnings.append(named);
    }
}

CheckoutOutputs::Finished CheckoutOutputs::finish(std::chrono::milliseconds publishWait)
{
    Finished finished;
    if (m_junit)
        finished.junitFailure = m_junit->failure();
    if (m_publisher) {
        finished.publishedAll = m_publisher->sendWaiting(publishWait) == Publisher::Sent::All;
        finished.published = m_publisher->sentCount();
        finished.waiting = m_publisher->waitingCount();
        finished.messagesLost = m_publisher->lostCount();
        if (!finished.publishedAll && !m_publishWarned)
            warn(QStringLiteral("warning: %1 has not taken every message within %2 s; %3 wait "
                                "in the spool %4 and go out at the next checkout or with "
                                "'vornctl records publish --pending'")
                     .arg(m_publisher->target().description())
                     .arg(std::chrono::duration_cast<std::chrono::seconds>(publishWait).count())
                     .arg(finished.waiting)
                     .arg(m_publisher->spoolLocation().path));
    }
    const std::lock_guard lock(m_lock);
    finished.records = m_kept;
    finished.warnings = m_warnings;
    return finished;
}
