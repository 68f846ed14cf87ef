#pragma once

#include <QString>

#include <optional>

// Where the messages of the checkout go: an address on an AMQP 1.0 broker, written as
// "amqp://[USER@]HOST[:PORT]/ADDRESS" or "amqps://..." (TLS: the broker's certificate must be
// made out to HOST and signed by the CA in the file VORN_AMQP_CA names, else by one of the
// system's trust store). The path is the address as the broker names it:
// amqp://cfx@broker/queue/line1 sends to "/queue/line1". A password never appears in the URL; it
// comes from VORN_AMQP_PASSWORD or from the file VORN_AMQP_PASSWORD_FILE names.
struct PublishTarget
{
    static constexpr int AmqpPort = 5672;
    static constexpr int AmqpsPort = 5671;

    bool tls = false;
    QString user; // empty: an anonymous connection
    QString password;
    QString host;
    int port = AmqpPort;
    QString address; // "/queue/line1"
    QString
        caFile; // amqps: the CA the broker's certificate is checked against; empty: the system's

    // Parses a URL; on a URL of another kind, with a password or without an address, nothing
    // and the reason in error.
    static std::optional<PublishTarget> parse(const QString &url, QString *error);
    // The same, with the password taken from passwordEnvironment (VORN_AMQP_PASSWORD), else
    // from the file passwordFileEnvironment (VORN_AMQP_PASSWORD_FILE) names; a file that cannot
    // be read is an error.
    static std::optional<PublishTarget> fromUrl(const QString &url,
                                                const QString &passwordEnvironment,
                                                const QString &passwordFileEnvironment,
                                                QString *error);
    // The broker a command uses: urlOption (--publish URL) when not empty, else the
    // environment's VORN_PUBLISH, with the password as fromUrl() takes it. Nothing when neither
    // names a broker (error left empty) or when the URL is wrong (error says why).
    static std::optional<PublishTarget> choose(const QString &urlOption, QString *error);

    // The URL in its canonical form, without the password: names the destination of a spooled
    // message and appears in messages.
    QString url() const;
    // What the AMQP client connects to: "amqp://HOST:PORT" or "amqps://HOST:PORT".
    QString connectionUrl() const;
    // For messages: "the broker HOST:PORT".
    QString description() const;

    friend bool operator==(const PublishTarget &, const PublishTarget &) = default;
};
