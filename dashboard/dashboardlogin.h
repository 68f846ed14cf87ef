#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QString>

#include <optional>

// Who may read the dashboard: user names with salted scrypt hashes (OpenSSL's, made by
// `vorn-dashboard --hash-password`), one "NAME:HASH" a line. A browser logs in with HTTP Basic
// authentication over TLS; a login that passed is remembered by a hash of what the browser
// sent, so the page's requests after it cost no key derivation. Failed logins are counted by
// address: too many in a minute and that address is refused for the rest of it.
class DashboardLogin
{
public:
    enum class Outcome
    {
        Allowed,
        Missing,  // no login given: the browser is asked for one
        Refused,  // a wrong name or password
        Throttled // too many failed logins from this address lately
    };

    static constexpr int FailuresAllowed = 5; // a minute, by address
    static constexpr qint64 FailureWindowMs = 60'000;

    // Reads the users file; nothing with the reason in error when it cannot be read, holds a
    // line that is not NAME:HASH, or no user at all.
    static std::optional<DashboardLogin> fromFile(const QString &path, QString *error);
    // A new salted hash of password, as the users file holds it.
    static QString hashPassword(const QByteArray &password);
    // Whether password gives hash.
    static bool matches(const QByteArray &password, const QString &hash);

    // The Authorization header's value, from peer at now; user is the name given, for the log.
    Outcome check(const QByteArray &authorization, const QHostAddress &peer, const QDateTime &now,
                  QString *user);

private:
    struct Failures
    {
        int count = 0;
        QDateTime since;
    };

    QHash<QString, QString> m_users;   // name, hash
    QHash<QByteArray, QString> m_good; // SHA-256 of an Authorization that passed, its user
    QHash<QHostAddress, Failures> m_failures;
};
