#include "dashboard/dashboardlogin.h"

#include <QCryptographicHash>
#include <QFile>
#include <QStringList>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace {

// scrypt at 2^15 × 8 × 1: about 32 MiB and a tenth of a second a login, which makes guessing
// a stolen file's passwords slow; hashes made with other costs keep theirs.
constexpr int DefaultLogCost = 15;
constexpr int BlockSize = 8;
constexpr int Parallel = 1;
constexpr int SaltBytes = 16;
constexpr int KeyBytes = 32;
const QString Scheme = QStringLiteral("$scrypt$");

std::optional<QByteArray> derive(const QByteArray &password, const QByteArray &salt, int logCost,
                                 int blockSize, int parallel)
{
    QByteArray key(KeyBytes, Qt::Uninitialized);
    const quint64 cost = quint64(1) << logCost;
    const quint64 memory = 128 * quint64(blockSize) * cost * 2 + (1 << 20);
    if (EVP_PBE_scrypt(password.constData(), std::size_t(password.size()),
                       reinterpret_cast<const unsigned char *>(salt.constData()),
                       std::size_t(salt.size()), cost, quint64(blockSize), quint64(parallel),
                       memory, reinterpret_cast<unsigned char *>(key.data()), KeyBytes) != 1)
        return std::nullopt;
    return key;
}

QString encoded(int logCost, const QByteArray &salt, const QByteArray &key)
{
    return Scheme + QStringLiteral("ln=%1,r=%2,p=%3$").arg(logCost).arg(BlockSize).arg(Parallel) +
           QString::fromLatin1(salt.toBase64()) + QLatin1Char('$') +
           QString::fromLatin1(key.toBase64());
}

} // namespace

QString DashboardLogin::hashPassword(const QByteArray &password)
{
    QByteArray salt(SaltBytes, Qt::Uninitialized);
    RAND_bytes(reinterpret_cast<unsigned char *>(salt.data()), SaltBytes);
    const std::optional<QByteArray> key =
        derive(password, salt, DefaultLogCost, BlockSize, Parallel);
    return key ? encoded(DefaultLogCost, salt, *key) : QString();
}

bool DashboardLogin::matches(const QByteArray &password, const QString &hash)
{
    // $scrypt$ln=15,r=8,p=1$SALT$KEY
    const QStringList parts = hash.mid(Scheme.size()).split(QLatin1Char('$'));
    if (!hash.startsWith(Scheme) || parts.size() != 3)
        return false;
    QHash<QString, int> settings;
    for (const QString &setting : parts.at(0).split(QLatin1Char(',')))
        settings.insert(setting.section(QLatin1Char('='), 0, 0),
                        setting.section(QLatin1Char('='), 1).toInt());
    const int logCost = settings.value(QStringLiteral("ln"));
    const int blockSize = settings.value(QStringLiteral("r"));
    const int parallel = settings.value(QStringLiteral("p"));
    if (logCost < 10 || logCost > 22 || blockSize < 1 || blockSize > 32 || parallel < 1 ||
        parallel > 16)
        return false;
    const QByteArray salt = QByteArray::fromBase64(parts.at(1).toLatin1());
    const QByteArray kept = QByteArray::fromBase64(parts.at(2).toLatin1());
    const std::optional<QByteArray> key = derive(password, salt, logCost, blockSize, parallel);
    return key && kept.size() == key->size() &&
           CRYPTO_memcmp(kept.constData(), key->constData(), std::size_t(kept.size())) == 0;
}

std::optional<DashboardLogin> DashboardLogin::fromFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read the users file %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    DashboardLogin login;
    int number = 0;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        ++number;
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0 || !line.mid(colon + 1).startsWith(Scheme)) {
            *error = QStringLiteral("%1, line %2: not NAME:HASH (make the hash with "
                                    "vorn-dashboard --hash-password)")
                         .arg(path)
                         .arg(number);
            return std::nullopt;
        }
        login.m_users.insert(line.left(colon), line.mid(colon + 1));
    }
    if (login.m_users.isEmpty()) {
        *error = QStringLiteral("the users file %1 names no user").arg(path);
        return std::nullopt;
    }
    return login;
}

DashboardLogin::Outcome DashboardLogin::check(const QByteArray &authorization,
                                              const QHostAddress &peer, const QDateTime &now,
                                              QString *user)
{
    user->clear();
    if (!authorization.startsWith("Basic "))
        return Outcome::Missing;
    const QByteArray key = QCryptographicHash::hash(authorization, QCryptographicHash::Sha256);
    if (const auto good = m_good.constFind(key); good != m_good.cend()) {
        *user = good.value();
        return Outcome::Allowed;
    }
    Failures &failures = m_failures[peer];
    if (!failures.since.isValid() || failures.since.msecsTo(now) > FailureWindowMs)
        failures = {0, now};
    if (failures.count >= FailuresAllowed)
        return Outcome::Throttled;
    const QByteArray pair = QByteArray::fromBase64(authorization.mid(6).trimmed());
    const qsizetype colon = pair.indexOf(':');
    *user = QString::fromUtf8(pair.left(std::max<qsizetype>(colon, 0)));
    // An unknown name costs the same derivation as a known one: the time of the answer does not
    // tell which names exist.
    static const QString noSuchUser = hashPassword(QByteArrayLiteral("no such user"));
    const auto hash = m_users.constFind(*user);
    const bool known = colon > 0 && hash != m_users.cend();
    if (matches(pair.mid(colon + 1), known ? hash.value() : noSuchUser) && known) {
        m_good.insert(key, *user);
        return Outcome::Allowed;
    }
    ++failures.count;
    return Outcome::Refused;
}
