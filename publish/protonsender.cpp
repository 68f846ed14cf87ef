// libvorn-amqp.so: the AMQP 1.0 client that sends a Publisher's spool to its broker, with Qpid
// Proton on a thread of its own. A module of its own, loaded when a program first publishes, so
// that Proton and OpenSSL are not loaded by every start of a station or of vornctl.
#include "publish/amqpsender.h"

#include <proton/binary.hpp>
#include <proton/connection.hpp>
#include <proton/connection_options.hpp>
#include <proton/container.hpp>
#include <proton/delivery_mode.hpp>
#include <proton/error_condition.hpp>
#include <proton/message.hpp>
#include <proton/message_id.hpp>
#include <proton/messaging_handler.hpp>
#include <proton/sasl.hpp>
#include <proton/sender.hpp>
#include <proton/sender_options.hpp>
#include <proton/session.hpp>
#include <proton/ssl.hpp>
#include <proton/target_options.hpp>
#include <proton/terminus.hpp>
#include <proton/tracker.hpp>
#include <proton/transport.hpp>
#include <proton/work_queue.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace {

// Messages sent and not yet settled by the broker: enough to keep the line busy while
// acknowledgements travel, few enough that a lost connection sends little again.
constexpr int Window = 256;
// Accepted messages are taken out of the spool together, in one transaction.
constexpr int RemoveBatch = 128;
// A broker that neither answers nor refuses (a host that drops the packets) is given up on
// after this long; what waits goes out at the next try.
constexpr std::chrono::milliseconds ConnectTimeout{10'000};
const proton::duration ConnectingPoll(20);
// Heartbeats keep a quiet connection between checkouts alive and notice a broker that is gone.
const proton::duration IdleTimeout(30'000);

const std::string JsonContentType = "application/json; charset=utf-8";

QString fromStd(const std::string &text)
{
    return QString::fromStdString(text);
}

} // namespace

class ProtonSender final : public AmqpSender, private proton::messaging_handler
{
public:
    ProtonSender(AmqpEndpoint endpoint, AmqpSenderHost &host)
        : m_target(std::move(endpoint)), m_host(host), m_queue(m_container)
    {
        m_container.auto_stop(false);
        m_thread = std::thread([this] {
            m_container.run();
            // The spool's connection belongs to this thread and ends on it.
            if (m_spoolOpen)
                m_host.closeSpool();
        });
    }

    ~ProtonSender() override
    {
        // Stopping aborts the connection: what has not been accepted stays in the spool for
        // the next run, without a warning about a broker that did nothing wrong.
        m_stopping = true;
        m_container.stop();
        m_thread.join();
    }

    ProtonSender(const ProtonSender &) = delete;
    ProtonSender &operator=(const ProtonSender &) = delete;

    quint64 wake() override
    {
        quint64 generation = 0;
        {
            const std::lock_guard lock(m_lock);
            generation = ++m_requested;
        }
        if (!m_queue.add([this, generation] { onWake(generation); })) {
            // The sender has stopped: nothing will answer.
            const std::lock_guard lock(m_lock);
            m_answered = std::max(m_answered, generation);
            m_lastDelivered = false;
            m_answeredChanged.notify_all();
        }
        return generation;
    }

    Sent waitFor(quint64 generation, std::chrono::milliseconds timeout) override
    {
        std::unique_lock lock(m_lock);
        if (!m_answeredChanged.wait_for(lock, timeout, [&] { return m_answered >= generation; }))
            return Sent::TimedOut;
        return m_lastDelivered ? Sent::All : Sent::Failed;
    }

    int sentCount() const override { return m_sent.load(); }

private:
    enum class State
    {
        Idle,       // no connection
        Connecting, // asked for, not open yet
        Open,       // the sender link is open
    };

    // --- On the sender's thread from here on. ---

    void onWake(quint64 generation)
    {
        m_wanted = std::max(m_wanted, generation);
        switch (m_state) {
        case State::Open:
            // Sent from the connection's own queue: what a handler of the connection sends
            // is written out at once, what other work sends only at the connection's next
            // event.
            if (!m_connection.work_queue().add([this] {
                    if (m_state == State::Open)
                        pump();
                }))
                fail(QStringLiteral("the connection ended"));
            return;
        case State::Connecting:
            return; // answered once the connection opens or fails
        case State::Idle:
            break;
        }
        if (!openSpool())
            return;
        const auto waiting = m_host.next(0, 1);
        if (!waiting) {
            spoolFailed();
        } else if (waiting->isEmpty()) {
            answer(true); // nothing to send: no need for a connection
        } else {
            connect();
        }
    }

    bool openSpool()
    {
        if (m_spoolOpen)
            return true;
        if (!m_host.openSpool()) {
            answer(false);
            return false;
        }
        m_spoolOpen = true;
        return true;
    }

    void warn(const QString &text) { m_host.warn(text); }

    void connect()
    {
        proton::connection_options options(*this);
        options.idle_timeout(IdleTimeout);
        if (m_target.user.isEmpty()) {
            options.sasl_allowed_mechs("ANONYMOUS");
        } else {
            options.user(m_target.user.toStdString());
            options.password(m_target.password.toStdString());
            options.sasl_allowed_mechs("PLAIN");
        }
        // PLAIN without TLS is what a broker on the line's own network takes; amqps:// keeps
        // the password off the wire.
        options.sasl_allow_insecure_mechs(true);
        // The broker's certificate checked, and made out to the host dialled, always.
        if (m_target.tls)
            options.ssl_client_options(
                m_target.caFile.isEmpty()
                    ? proton::ssl_client_options()
                    : proton::ssl_client_options(m_target.caFile.toStdString(),
                                                 proton::ssl::VERIFY_PEER_NAME));
        m_state = State::Connecting;
        m_connection = m_container.connect(m_target.connectionUrl.toStdString(), options);
        m_connectStarted = std::chrono::steady_clock::now();
        watchConnecting(++m_attempt);
    }

    // Looks at the connection being made every few milliseconds: a broker that refuses the
    // password says so at once but may keep the socket open until its handshake times out
    // (RabbitMQ: 10 s), and a host that drops the packets never answers at all. Short looks
    // rather than one long timer, because the container's stop waits for its timers.
    void watchConnecting(int attempt)
    {
        m_queue.schedule(ConnectingPoll, [this, attempt] {
            if (m_attempt != attempt || m_state != State::Connecting)
                return;
            const proton::transport transport = m_connection.transport();
            const enum proton::sasl::outcome outcome =
                transport ? transport.sasl().outcome() : proton::sasl::NONE;
            if (outcome != proton::sasl::NONE && outcome != proton::sasl::OK)
                fail(describe(
                    proton::error_condition("amqp:unauthorized-access", "authentication failed")));
            else if (std::chrono::steady_clock::now() - m_connectStarted > ConnectTimeout)
                fail(QStringLiteral("it did not answer within %1 s")
                         .arg(std::chrono::duration_cast<std::chrono::seconds>(ConnectTimeout)
                                  .count()));
            else
                watchConnecting(attempt);
        });
    }

    bool current(const proton::connection &connection) const
    {
        return m_state != State::Idle && connection == m_connection;
    }

    void on_connection_open(proton::connection &connection) override
    {
        if (!current(connection))
            return;
        proton::sender_options options;
        options.delivery_mode(proton::delivery_mode::AT_LEAST_ONCE);
        // A queue the broker makes for the address (RabbitMQ's /queue/NAME) outlives the
        // broker's restart, and so do the messages in it.
        options.target(proton::target_options().durability_mode(proton::terminus::CONFIGURATION));
        connection.open_sender(m_target.address.toStdString(), options);
    }

    void on_sender_open(proton::sender &link) override
    {
        if (!current(link.connection()))
            return;
        m_link = link;
        m_state = State::Open;
        pump();
    }

    void on_sendable(proton::sender &link) override
    {
        if (current(link.connection()) && m_state == State::Open)
            pump();
    }

    // Sends what waits, in the spool's order, as far as the broker's credit and the window
    // allow; answers the waiting requests once nothing is left.
    void pump()
    {
        if (!removeAccepted())
            return;
        while (true) {
            const int room = std::min(m_link.credit(), Window - int(m_inflight.size()));
            if (room <= 0)
                break;
            const auto entries = m_host.next(m_lastSent, room);
            if (!entries) {
                spoolFailed();
                return;
            }
            if (entries->isEmpty())
                break;
            for (const AmqpMessage &entry : *entries)
                send(entry);
        }
        if (!m_inflight.empty())
            return;
        const auto more = m_host.next(m_lastSent, 1);
        if (!more) {
            spoolFailed();
        } else if (more->isEmpty()) {
            if (m_warned)
                warn(QStringLiteral("%1 answers again: everything that waited in the spool "
                                    "has been sent")
                         .arg(m_target.description));
            m_warned = false;
            answer(true);
        }
    }

    void send(const AmqpMessage &entry)
    {
        proton::message message;
        message.id(entry.uniqueId.toStdString());
        message.subject(entry.messageName.toStdString());
        message.content_type(JsonContentType);
        message.durable(true);
        // The JSON text as the bytes of a data section: what every AMQP client, and a
        // RabbitMQ consumer of the older protocol, reads as the message's body.
        message.body(proton::binary(entry.body.cbegin(), entry.body.cend()));
        message.inferred(true);
        m_inflight.push_back({m_link.send(message), entry.sequence});
        m_lastSent = entry.sequence;
    }

    void on_tracker_accept(proton::tracker &tracker) override
    {
        const auto found = std::find_if(m_inflight.begin(), m_inflight.end(),
                                        [&](const auto &each) { return each.first == tracker; });
        if (found == m_inflight.end())
            return;
        m_accepted.append(found->second);
        m_inflight.erase(found);
        ++m_sent;
        if (m_accepted.size() >= RemoveBatch || m_inflight.empty())
            pump();
    }

    void on_tracker_reject(proton::tracker &tracker) override
    {
        if (!current(tracker.connection()))
            return;
        fail(QStringLiteral("it refused a message for %1").arg(m_target.address));
    }

    void on_tracker_release(proton::tracker &tracker) override
    {
        if (!current(tracker.connection()))
            return;
        fail(QStringLiteral("it could not take a message now"));
    }

    void on_transport_error(proton::transport &transport) override
    {
        if (current(transport.connection()))
            fail(describe(transport.error()));
    }

    void on_transport_close(proton::transport &transport) override
    {
        if (current(transport.connection()))
            fail(QStringLiteral("it closed the connection"));
    }

    void on_connection_error(proton::connection &connection) override
    {
        if (current(connection))
            fail(describe(connection.error()));
    }

    void on_session_error(proton::session &session) override
    {
        if (current(session.connection()))
            fail(describe(session.error()));
    }

    void on_sender_error(proton::sender &link) override
    {
        if (current(link.connection()))
            fail(describe(link.error()));
    }

    void on_sender_close(proton::sender &link) override
    {
        if (current(link.connection()))
            fail(QStringLiteral("it closed the link to %1").arg(m_target.address));
    }

    void on_error(const proton::error_condition &error) override
    {
        if (m_state != State::Idle)
            fail(describe(error));
    }

    // The connection is over: what was not accepted stays in the spool and is sent from the
    // start of the spool at the next try. Warns once for each outage, and only when something
    // waited to be sent.
    void fail(const QString &reason)
    {
        const bool waited = !m_stopping && (!m_inflight.empty() || m_wanted > m_answeredHere);
        if (m_state != State::Idle) {
            proton::connection connection = m_connection;
            m_state = State::Idle;
            if (connection.active())
                connection.close();
        }
        m_inflight.clear();
        m_lastSent = 0;
        removeAccepted();
        if (!waited)
            return;
        if (!m_warned) {
            m_warned = true;
            warn(QStringLiteral("warning: cannot publish to %1: %2 %3; the messages wait in the "
                                "spool %4 and go out, in order, at the next checkout or with "
                                "'vornctl records publish --pending'")
                     .arg(m_target.url, m_target.description, reason, m_target.spoolPath));
        }
        answer(false);
    }

    void spoolFailed()
    {
        warn(QStringLiteral("warning: cannot read the publishing spool: %1")
                 .arg(m_host.spoolError()));
        if (m_state != State::Idle) {
            m_state = State::Idle;
            m_connection.close();
        }
        m_inflight.clear();
        m_lastSent = 0;
        answer(false);
    }

    // Takes the accepted messages out of the spool. A message whose removal failed is sent
    // again later; its UniqueID lets the consumer drop the copy.
    bool removeAccepted()
    {
        if (m_accepted.isEmpty() || !m_spoolOpen)
            return true;
        const QList<qint64> accepted = std::exchange(m_accepted, {});
        if (m_host.remove(accepted))
            return true;
        spoolFailed();
        return false;
    }

    QString describe(const proton::error_condition &error) const
    {
        const QString name = fromStd(error.name());
        const QString description = fromStd(error.description());
        const QString lower = description.toLower();
        if (name == QLatin1String("amqp:unauthorized-access"))
            return QStringLiteral("refused the user %1: wrong password or unknown user (the "
                                  "password comes from VORN_AMQP_PASSWORD or "
                                  "VORN_AMQP_PASSWORD_FILE)")
                .arg(m_target.user.isEmpty() ? QStringLiteral("(anonymous)") : m_target.user);
        if (lower.contains(QLatin1String("refused")))
            return QStringLiteral("refused the connection: is it running on that port?");
        if (lower.contains(QLatin1String("name or service not known")) ||
            lower.contains(QLatin1String("no address associated")))
            return QStringLiteral("cannot be found: the host name %1 is not known")
                .arg(m_target.host);
        if (name == QLatin1String("amqp:not-found"))
            return QStringLiteral("has no address %1 (%2)").arg(m_target.address, description);
        if (error.empty())
            return QStringLiteral("closed the connection");
        return QStringLiteral("failed: %1 %2").arg(name, description);
    }

    void answer(bool delivered)
    {
        m_answeredHere = m_wanted;
        const std::lock_guard lock(m_lock);
        m_answered = std::max(m_answered, m_wanted);
        m_lastDelivered = delivered;
        m_answeredChanged.notify_all();
    }

    const AmqpEndpoint m_target;
    AmqpSenderHost &m_host;

    proton::container m_container;
    proton::work_queue m_queue;
    std::thread m_thread;

    // The sender's thread only.
    bool m_spoolOpen = false;
    State m_state = State::Idle;
    proton::connection m_connection;
    proton::sender m_link;
    int m_attempt = 0;
    std::chrono::steady_clock::time_point m_connectStarted;
    std::deque<std::pair<proton::tracker, qint64>> m_inflight; // in the order sent
    QList<qint64> m_accepted;
    qint64 m_lastSent = 0;
    quint64 m_wanted = 0;       // the newest request seen here
    quint64 m_answeredHere = 0; // the newest request answered
    bool m_warned = false;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_sent{0};

    std::mutex m_lock;
    std::condition_variable m_answeredChanged;
    quint64 m_requested = 0;
    quint64 m_answered = 0;
    bool m_lastDelivered = false;
};

extern "C" Q_DECL_EXPORT AmqpSender *vornAmqpSenderCreate(const AmqpEndpoint &endpoint,
                                                          AmqpSenderHost &host)
{
    return new ProtonSender(endpoint, host);
}
