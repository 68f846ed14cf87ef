#include "store/chainverifier.h"

#include "checkout/checkoutrecord.h"
#include "store/chainrows.h"
#include "store/recordchain.h"
#include "store/recordsstore.h"

#include <QMap>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using Finding = ChainVerifier::Finding;

// A file's pages read in place rather than copied out of the kernel's cache: a walk reads
// every record once.
const QString MapWholeFile = QStringLiteral("PRAGMA mmap_size = 17179869184");

QString place(const QString &station, qint64 position)
{
    return QStringLiteral("%1, place %2").arg(station).arg(position);
}

// Where a station's chain begins: records of the station without a place started after it
// were put in, those before it were kept before chaining.
using ChainStarts = QMap<QString, QString>;

} // namespace

QString ChainVerifier::Head::line() const
{
    return QStringLiteral("%1\t%2\t%3\t%4").arg(station).arg(position).arg(id, hash);
}

std::optional<ChainVerifier::Head> ChainVerifier::Head::fromLine(const QString &line)
{
    // The station's name may hold anything but a line break: the last three fields are fixed.
    const QStringList fields = line.trimmed().split(QLatin1Char('\t'));
    if (fields.size() < 4)
        return std::nullopt;
    Head head;
    bool number = false;
    head.position = fields.at(fields.size() - 3).toLongLong(&number);
    head.id = fields.at(fields.size() - 2);
    head.hash = fields.last();
    head.station = fields.mid(0, fields.size() - 3).join(QLatin1Char('\t'));
    if (!number || head.position < 1 || head.id.isEmpty() || head.hash.size() != 64)
        return std::nullopt;
    return head;
}

ChainVerifier::ChainVerifier(RecordsDatabase &database) : m_database(database) {}

std::optional<ChainVerifier::Report>
ChainVerifier::verify(const QString &station, const QDateTime &since, const QList<Head> &anchors)
{
    m_failure.clear();
    if (!RecordChain::canHash(&m_failure))
        return std::nullopt;
    if (m_database.location().kind == RecordsLocation::Kind::Sqlite &&
        !m_database.runFixed(MapWholeFile))
        return std::nullopt;
    const std::optional<QList<StationRange>> chains = ranges(station, since);
    if (!chains)
        return std::nullopt;
    Report report;
    if (!walkAll(*chains, report))
        return std::nullopt;
    for (const Head &anchor : anchors) {
        if ((station.isEmpty() || anchor.station == station) && !checkAnchor(anchor, report))
            return std::nullopt;
    }
    QSqlQuery starts =
        m_database.prepare(QStringLiteral("SELECT station, MIN(started) FROM checkouts "
                                          "WHERE chain_position IS NOT NULL GROUP BY station"));
    if (!m_database.exec(starts))
        return std::nullopt;
    ChainStarts chainStarts;
    while (starts.next())
        chainStarts.insert(starts.value(0).toString(), starts.value(1).toString());
    if (!m_database.readToTheEnd(starts))
        return std::nullopt;
    QString statement =
        QStringLiteral("SELECT id, station, started FROM checkouts WHERE chain_position IS NULL");
    QVariantList values;
    if (!station.isEmpty()) {
        statement += QStringLiteral(" AND station = ?");
        values.append(station);
    }
    if (since.isValid()) {
        statement += QStringLiteral(" AND started >= ?");
        values.append(isoUtc(since));
    }
    QSqlQuery unchained = m_database.prepare(statement + QStringLiteral(" ORDER BY started, id"));
    for (const QVariant &value : values)
        unchained.addBindValue(value);
    if (!m_database.exec(unchained))
        return std::nullopt;
    while (unchained.next()) {
        const QString id = unchained.value(0).toString();
        const QString ofStation = unchained.value(1).toString();
        const auto start = chainStarts.constFind(ofStation);
        // Stations chain every checkout they keep once chaining began: one without a place
        // among the chained ones was written past the program.
        if (start == chainStarts.cend() || unchained.value(2).toString() < start.value()) {
            ++report.beforeChaining;
            continue;
        }
        report.findings.append({Finding::Kind::Inserted, ofStation, id,
                                QStringLiteral("%1 (%2) has no place in its station's chain, "
                                               "which began before it: put in")
                                    .arg(id, ofStation)});
    }
    if (!m_database.readToTheEnd(unchained))
        return std::nullopt;
    return report;
}

std::optional<QList<ChainVerifier::StationRange>> ChainVerifier::ranges(const QString &station,
                                                                        const QDateTime &since)
{
    QString statement = QStringLiteral("SELECT station, MIN(chain_position) FROM checkouts "
                                       "WHERE chain_position IS NOT NULL");
    QVariantList values;
    if (!station.isEmpty()) {
        statement += QStringLiteral(" AND station = ?");
        values.append(station);
    }
    if (since.isValid()) {
        statement += QStringLiteral(" AND started >= ?");
        values.append(isoUtc(since));
    }
    QSqlQuery query =
        m_database.prepare(statement + QStringLiteral(" GROUP BY station ORDER BY station"));
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!m_database.exec(query))
        return std::nullopt;
    QList<StationRange> chains;
    while (query.next()) {
        // A whole chain from its first place, so that a record taken from its beginning shows;
        // from a time on, from the record before it, whose link to the first one is checked.
        const qint64 first = query.value(1).toLongLong();
        chains.append({query.value(0).toString(),
                       since.isValid() ? std::max<qint64>(1, first - 1) : qint64(1)});
    }
    if (!m_database.readToTheEnd(query))
        return std::nullopt;
    return chains;
}

bool ChainVerifier::walkAll(const QList<StationRange> &chains, Report &report)
{
    // The stations' chains are independent: a nightly walk of a factory's month spreads them
    // over the processor's cores, each on a connection of its own (the hashing is most of the
    // work), and puts their findings together in the stations' order.
    const int workers =
        int(std::min<qsizetype>(chains.size(), std::clamp(QThread::idealThreadCount(), 1, 8)));
    if (workers <= 1 || m_database.location().isNone()) {
        for (const StationRange &range : chains) {
            if (!walk(m_database, range, report))
                return false;
        }
        return true;
    }
    std::vector<Report> reports(static_cast<std::size_t>(chains.size()));
    std::vector<QString> failures(static_cast<std::size_t>(workers));
    std::atomic<qsizetype> next{0};
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(workers));
    for (int worker = 0; worker < workers; ++worker) {
        threads.emplace_back([&, worker] {
            RecordsStore store(m_database.location());
            if (!store.open(RecordsStore::OpenMode::ReadOnly)) {
                failures[std::size_t(worker)] = store.errorText();
                return;
            }
            RecordsDatabase &database = store.database();
            if (database.location().kind == RecordsLocation::Kind::Sqlite &&
                !database.runFixed(MapWholeFile)) {
                failures[std::size_t(worker)] = database.errorText();
                return;
            }
            for (qsizetype index = next++; index < chains.size(); index = next++) {
                if (!walk(database, chains.at(index), reports[std::size_t(index)])) {
                    failures[std::size_t(worker)] = database.errorText();
                    return;
                }
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (const QString &failure : failures) {
        if (!failure.isEmpty()) {
            m_failure = failure;
            return false;
        }
    }
    for (const Report &each : reports) {
        report.checked += each.checked;
        report.findings += each.findings;
    }
    return true;
}

bool ChainVerifier::walk(RecordsDatabase &database, const StationRange &range, Report &report)
{
    ChainRows rows(database);
    if (!rows.selectChain(range.station, range.from))
        return false;
    qint64 expected = range.from;
    // The row before, kept in buffers that each row reuses.
    std::string priorId;
    std::string priorHash;
    while (rows.next()) {
        const qint64 position = rows.position();
        const QByteArrayView previous = rows.previous();
        const QByteArrayView hash = rows.hash().value_or(QByteArrayView());
        const QByteArrayView idBytes = rows.fields().front().value_or(QByteArrayView());
        ++report.checked;
        // The record's id as text only for what is said about it: most rows are in order.
        const auto id = [&] { return QString::fromUtf8(idBytes); };
        if (RecordChain::hashOf(previous, rows.fields()) != hash)
            report.findings.append(
                {Finding::Kind::Changed, range.station, id(),
                 QStringLiteral("%1 (%2) no longer gives its hash: changed since it was kept")
                     .arg(id(), place(range.station, position))});
        if (position > expected) {
            report.findings.append(
                {Finding::Kind::Removed, range.station, id(),
                 QStringLiteral("%1 record(s) removed from %2's chain before %3 (places %4 to %5)")
                     .arg(position - expected)
                     .arg(range.station, id())
                     .arg(expected)
                     .arg(position - 1)});
        } else if ((priorId.empty() && position == 1 && !previous.isEmpty()) ||
                   (!priorId.empty() && previous != QByteArrayView(priorHash))) {
            report.findings.append(
                {Finding::Kind::Relinked, range.station, id(),
                 QStringLiteral("%1 (%2) does not follow %3: put in between, or the chain "
                                "rewritten")
                     .arg(id(), place(range.station, position),
                          priorId.empty() ? QStringLiteral("the chain's beginning")
                                          : QString::fromStdString(priorId))});
        }
        expected = position + 1;
        priorId.assign(idBytes.data(), std::size_t(idBytes.size()));
        priorHash.assign(hash.data(), std::size_t(hash.size()));
    }
    return !rows.failed();
}

bool ChainVerifier::checkAnchor(const Head &anchor, Report &report)
{
    QSqlQuery query = m_database.prepare(QStringLiteral(
        "SELECT id, chain_hash FROM checkouts WHERE station = ? AND chain_position = ?"));
    query.addBindValue(anchor.station);
    query.addBindValue(anchor.position);
    if (!m_database.exec(query))
        return false;
    if (query.next() && query.value(0).toString() == anchor.id &&
        query.value(1).toString() == anchor.hash)
        return true;
    report.findings.append(
        {Finding::Kind::HeadLost, anchor.station, anchor.id,
         QStringLiteral("the head kept for %1 (%2, %3) is no longer there as it was: records "
                        "cut off the chain's end, or the chain rewritten")
             .arg(anchor.station, place(anchor.station, anchor.position), anchor.id)});
    return true;
}

std::optional<QList<ChainVerifier::Head>> ChainVerifier::heads(const QString &station)
{
    QString statement = QStringLiteral(
        "SELECT c.station, c.chain_position, c.id, c.chain_hash FROM checkouts AS c JOIN "
        "(SELECT station, MAX(chain_position) AS head FROM checkouts "
        "WHERE chain_position IS NOT NULL GROUP BY station) AS h "
        "ON c.station = h.station AND c.chain_position = h.head");
    if (!station.isEmpty())
        statement += QStringLiteral(" WHERE c.station = ?");
    QSqlQuery query = m_database.prepare(statement + QStringLiteral(" ORDER BY c.station"));
    if (!station.isEmpty())
        query.addBindValue(station);
    if (!m_database.exec(query))
        return std::nullopt;
    QList<Head> found;
    while (query.next())
        found.append({query.value(0).toString(), query.value(1).toLongLong(),
                      query.value(2).toString(), query.value(3).toString()});
    if (!m_database.readToTheEnd(query))
        return std::nullopt;
    return found;
}

std::optional<QString> ChainVerifier::keptHash(const QString &id)
{
    QSqlQuery query =
        m_database.prepare(QStringLiteral("SELECT chain_hash FROM checkouts WHERE id = ?"));
    query.addBindValue(id);
    if (!m_database.exec(query) || !query.next())
        return std::nullopt;
    return query.value(0).isNull() ? QString() : query.value(0).toString();
}

std::optional<ChainVerifier::HashAnswer> ChainVerifier::checkHash(const QString &id,
                                                                  const QString &hash)
{
    m_failure.clear();
    if (!RecordChain::canHash(&m_failure))
        return std::nullopt;
    ChainRows rows(m_database);
    if (!rows.selectRecord(id))
        return std::nullopt;
    if (!rows.next())
        return rows.failed() ? std::nullopt : std::optional(HashAnswer::NoSuchRecord);
    if (!rows.hash())
        return HashAnswer::BeforeChaining;
    const QByteArray kept = rows.hash()->toByteArray();
    if (kept.compare(hash.trimmed().toLatin1(), Qt::CaseInsensitive) != 0)
        return HashAnswer::Differs;
    return RecordChain::hashOf(rows.previous(), rows.fields()) == kept ? HashAnswer::Matches
                                                                       : HashAnswer::ContentChanged;
}
