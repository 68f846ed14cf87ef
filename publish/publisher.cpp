#include "publish/publisher.h"

#include "publish/amqpmodule.h"
#include "publish/publishspool.h"

#include <QMap>

#include <atomic>
#include <utility>

// The program's side of the sender: the spool of the sender's thread, and the warnings.
class Publisher::Sender final : public AmqpSenderHost
{
public:
    Sender(PublishTarget target, RecordsLocation spool)
        : m_target(std::move(target)), m_destination(m_target.url()), m_spoolFile(std::move(spool))
    {
        QString error;
        const AmqpSenderFactory create = AmqpModule::senderFactory(&error);
        if (create)
            m_client.reset(create(endpoint(), *this));
        else
            m_clientError = error;
    }

    ~Sender() override
    {
        // The client's thread ends before the spool it reads.
        m_client.reset();
    }

    Sender(const Sender &) = delete;
    Sender &operator=(const Sender &) = delete;

    const PublishTarget &target() const { return m_target; }
    const QString &destination() const { return m_destination; }
    const RecordsLocation &spoolFile() const { return m_spoolFile; }
    void setWarningHandler(WarningHandler handler) { m_warn = std::move(handler); }

    quint64 wake()
    {
        if (m_client)
            return m_client->wake();
        // Without its client a program still keeps every message in the spool; it says once
        // why nothing is sent.
        if (!m_toldOfClient.exchange(true))
            warn(QStringLiteral("warning: cannot publish to %1: %2; the messages wait in the "
                                "spool %3")
                     .arg(m_target.url(), m_clientError, m_spoolFile.path));
        return 0;
    }

    Sent waitFor(quint64 request, std::chrono::milliseconds timeout)
    {
        return m_client ? m_client->waitFor(request, timeout) : Sent::Failed;
    }

    int sentCount() const { return m_client ? m_client->sentCount() : 0; }
    std::atomic<int> lost{0};

    void warn(const QString &text) override
    {
        if (m_warn)
            m_warn(text);
    }

    // --- On the client's thread from here on. ---

    bool openSpool() override
    {
        auto spool = std::make_unique<PublishSpool>(m_spoolFile);
        if (!spool->open()) {
            warn(QStringLiteral("warning: cannot read the publishing spool: %1")
                     .arg(spool->errorText()));
            return false;
        }
        m_spool = std::move(spool);
        tellOfOtherDestinations();
        return true;
    }

    void closeSpool() override { m_spool.reset(); }

    std::optional<QList<AmqpMessage>> next(qint64 after, int limit) override
    {
        const auto entries = m_spool->next(m_destination, after, limit);
        if (!entries)
            return std::nullopt;
        QList<AmqpMessage> messages;
        messages.reserve(entries->size());
        for (const PublishSpool::Entry &entry : *entries)
            messages.append({entry.sequence, entry.uniqueId, entry.messageName, entry.body});
        return messages;
    }

    bool remove(const QList<qint64> &sequences) override { return m_spool->remove(sequences); }

    QString spoolError() const override { return m_spool->errorText(); }

private:
    AmqpEndpoint endpoint() const
    {
        AmqpEndpoint endpoint;
        endpoint.url = m_destination;
        endpoint.connectionUrl = m_target.connectionUrl();
        endpoint.description = m_target.description();
        endpoint.host = m_target.host;
        endpoint.address = m_target.address;
        endpoint.user = m_target.user;
        endpoint.password = m_target.password;
        endpoint.tls = m_target.tls;
        endpoint.caFile = m_target.caFile;
        endpoint.spoolPath = m_spoolFile.path;
        return endpoint;
    }

    // Messages spooled for another address (a URL mistyped once) would wait for ever: said
    // once, with the way to send or discard them.
    void tellOfOtherDestinations()
    {
        if (std::exchange(m_toldOfOthers, true))
            return;
        const QMap<QString, int> others = Publisher::waitingElsewhere(m_spoolFile, m_destination);
        if (!others.isEmpty())
            warn(QStringLiteral("warning: ") + Publisher::elsewhereText(others));
    }

    const PublishTarget m_target;
    const QString m_destination;
    const RecordsLocation m_spoolFile;
    WarningHandler m_warn;
    QString m_clientError;
    std::atomic<bool> m_toldOfClient{false};
    // The client's thread only.
    std::unique_ptr<PublishSpool> m_spool;
    bool m_toldOfOthers = false;
    // Made last and ended first: its thread asks everything above.
    std::unique_ptr<AmqpSender> m_client;
};

Publisher::Publisher(PublishTarget target, RecordsLocation spool)
    : m_sender(std::make_unique<Sender>(std::move(target), std::move(spool)))
{
}

Publisher::~Publisher() = default;

RecordsLocation Publisher::defaultSpoolLocation()
{
    return PublishSpool::defaultLocation();
}

const PublishTarget &Publisher::target() const
{
    return m_sender->target();
}

const RecordsLocation &Publisher::spoolLocation() const
{
    return m_sender->spoolFile();
}

void Publisher::setWarningHandler(WarningHandler handler)
{
    m_sender->setWarningHandler(std::move(handler));
}

bool Publisher::publish(const QList<QJsonObject> &envelopes)
{
    PublishSpool spool(m_sender->spoolFile());
    if (!spool.open() || !spool.add(m_sender->destination(), envelopes)) {
        m_sender->lost += int(envelopes.size());
        m_sender->warn(QStringLiteral("warning: %1 for %2 could not be kept and are lost: %3")
                           .arg(envelopes.size() == 1
                                    ? QStringLiteral("1 message")
                                    : QStringLiteral("%1 messages").arg(envelopes.size()),
                                m_sender->target().url(), spool.errorText()));
        return false;
    }
    m_sender->wake();
    return true;
}

void Publisher::retry()
{
    m_sender->wake();
}

Publisher::Sent Publisher::sendWaiting(std::chrono::milliseconds timeout)
{
    return m_sender->waitFor(m_sender->wake(), timeout);
}

int Publisher::sentCount() const
{
    return m_sender->sentCount();
}

int Publisher::lostCount() const
{
    return m_sender->lost.load();
}

int Publisher::waitingCount() const
{
    PublishSpool spool(m_sender->spoolFile());
    if (!spool.open())
        return -1;
    const std::optional<QMap<QString, int>> counts = spool.counts();
    return counts ? counts->value(m_sender->destination()) : -1;
}

QMap<QString, int> Publisher::waitingElsewhere(const RecordsLocation &spoolFile,
                                               const QString &destination)
{
    PublishSpool spool(spoolFile);
    std::optional<QMap<QString, int>> counts;
    if (spool.open())
        counts = spool.counts();
    if (!counts)
        return {};
    counts->remove(destination);
    return *counts;
}

QString Publisher::elsewhereText(const QMap<QString, int> &elsewhere)
{
    QStringList lines;
    for (auto other = elsewhere.cbegin(); other != elsewhere.cend(); ++other)
        lines.append(
            QStringLiteral("%1 %2 wait in the spool for %3, not this broker: 'vornctl "
                           "records publish --pending --from %3' sends them to it, "
                           "'vornctl records publish --drop %3' discards them")
                .arg(other.value())
                .arg(other.value() == 1 ? QStringLiteral("message") : QStringLiteral("messages"),
                     other.key()));
    return lines.join(QLatin1Char('\n'));
}
