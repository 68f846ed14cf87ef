#include "queuereader.h"

#include <proton/binary.hpp>
#include <proton/connection.hpp>
#include <proton/connection_options.hpp>
#include <proton/container.hpp>
#include <proton/delivery.hpp>
#include <proton/message.hpp>
#include <proton/message_id.hpp>
#include <proton/messaging_handler.hpp>
#include <proton/receiver.hpp>
#include <proton/receiver_options.hpp>
#include <proton/scalar.hpp>
#include <proton/source_options.hpp>
#include <proton/terminus.hpp>
#include <proton/transport.hpp>
#include <proton/types.hpp>

#include <QJsonDocument>

#include <condition_variable>
#include <mutex>
#include <thread>

class QueueReader::Handler final : public proton::messaging_handler
{
public:
    Handler(int port, const QString &queue)
        : m_url(QStringLiteral("amqp://127.0.0.1:%1").arg(port).toStdString()),
          m_address(QStringLiteral("/queue/%1").arg(queue).toStdString())
    {
        m_thread = std::thread([this] { m_container.run(); });
    }
    ~Handler() override
    {
        m_container.stop();
        m_thread.join();
    }

    std::mutex lock;
    std::condition_variable changed;
    QList<Received> received;
    bool open = false;

private:
    void on_container_start(proton::container &container) override
    {
        proton::connection_options options;
        options.user("guest")
            .password("guest")
            .sasl_allowed_mechs("PLAIN")
            .sasl_allow_insecure_mechs(true);
        container.connect(m_url, options);
    }
    void on_connection_open(proton::connection &connection) override
    {
        // A durable queue, as the publisher asks for: the one that makes it first decides.
        connection.open_receiver(
            m_address, proton::receiver_options().source(proton::source_options().durability_mode(
                           proton::terminus::CONFIGURATION)));
    }
    void on_receiver_open(proton::receiver &) override
    {
        const std::lock_guard guard(lock);
        open = true;
        changed.notify_all();
    }
    void on_message(proton::delivery &, proton::message &message) override
    {
        Received one;
        const proton::value &body = message.body();
        QByteArray bytes;
        if (proton::type_id_is_scalar(body.type()) && body.type() == proton::BINARY) {
            const auto binary = proton::get<proton::binary>(body);
            bytes =
                QByteArray(reinterpret_cast<const char *>(binary.data()), qsizetype(binary.size()));
        } else if (body.type() == proton::STRING) {
            bytes = QByteArray::fromStdString(proton::get<std::string>(body));
        }
        one.dataSection = message.inferred() && body.type() == proton::BINARY;
        one.envelope = QJsonDocument::fromJson(bytes).object();
        one.messageId = QString::fromStdString(proton::to_string(message.id()));
        one.subject = QString::fromStdString(message.subject());
        one.contentType = QString::fromStdString(message.content_type());
        one.durable = message.durable();
        const std::lock_guard guard(lock);
        received.append(one);
        changed.notify_all();
    }
    void on_error(const proton::error_condition &) override {}
    void on_transport_error(proton::transport &) override {}

    std::string m_url;
    std::string m_address;
    proton::container m_container{*this};
    std::thread m_thread;
};

QueueReader::QueueReader(int port, const QString &queue)
    : m_handler(std::make_unique<Handler>(port, queue))
{
    // The queue made by this reader before a test publishes to it: a publisher's link and
    // this one asking for it at the same moment is a race of the broker's, not a test.
    waitUntilOpen();
}

QueueReader::~QueueReader() = default;

QList<QueueReader::Received> QueueReader::take(int count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_handler->lock);
    m_handler->changed.wait_for(lock, timeout, [&] { return m_handler->received.size() >= count; });
    QList<Received> taken = m_handler->received.mid(0, count);
    m_handler->received.remove(0, taken.size());
    return taken;
}

bool QueueReader::waitUntilOpen(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_handler->lock);
    return m_handler->changed.wait_for(lock, timeout, [&] { return m_handler->open; });
}
