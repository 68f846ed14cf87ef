#pragma once

#include "store/recordsdatabase.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// Walks the stations' chains of kept checkouts (records/recordchain.h) and names every record
// whose content no longer gives its hash, every place of a chain left empty, every link that no
// longer meets the record before it, and every record without a place that was put in after
// its station's chain began. Reads only.
class ChainVerifier
{
public:
    struct Finding
    {
        enum class Kind
        {
            Changed,  // its content no longer gives its hash
            Removed,  // places of the chain are empty
            Relinked, // its link does not meet the record before it: put in between, or rewritten
            Inserted, // kept without a place after its station's chain began
            HeadLost, // an anchored head is no longer there as it was
        };
        Kind kind;
        QString station;
        QString id; // the record named; for Removed the record after the gap
        QString text;
    };
    // The newest checkout of a station's chain: what a line keeps elsewhere to show later that
    // nothing was cut off the end.
    struct Head
    {
        QString station;
        qint64 position = 0;
        QString id;
        QString hash;

        // "STATION<TAB>POSITION<TAB>ID<TAB>HASH"
        QString line() const;
        static std::optional<Head> fromLine(const QString &line);
    };
    struct Report
    {
        qint64 checked = 0;        // chained records walked
        qint64 beforeChaining = 0; // records kept before chaining began
        QList<Finding> findings;
    };
    // What the kept record of an id says about a hash printed with it.
    enum class HashAnswer
    {
        Matches,
        Differs,        // the kept hash is another one
        ContentChanged, // the hash is kept, but the record no longer gives it
        BeforeChaining, // the record was kept before chaining began: it has no hash
        NoSuchRecord,
    };

    explicit ChainVerifier(RecordsDatabase &database);

    // Every station's chain (or station's alone), from the records started at since on (all
    // when invalid); anchors are heads kept earlier, each checked to be there still. Nothing on
    // failure, with errorText().
    std::optional<Report> verify(const QString &station, const QDateTime &since,
                                 const QList<Head> &anchors = {});
    // The head of every station's chain (or of station's), by station.
    std::optional<QList<Head>> heads(const QString &station = {});
    // The hash kept with the record id: empty for a record kept before chaining; nothing on
    // failure or when there is no such record.
    std::optional<QString> keptHash(const QString &id);
    std::optional<HashAnswer> checkHash(const QString &id, const QString &hash);
    QString errorText() const { return m_failure.isEmpty() ? m_database.errorText() : m_failure; }

private:
    struct StationRange
    {
        QString station;
        qint64 from = 1;
    };
    std::optional<QList<StationRange>> ranges(const QString &station, const QDateTime &since);
    // Every chain, each on one of several connections when there are several chains.
    bool walkAll(const QList<StationRange> &chains, Report &report);
    static bool walk(RecordsDatabase &database, const StationRange &range, Report &report);
    bool checkUnchained(const QString &station, Report &report);
    bool checkAnchor(const Head &anchor, Report &report);

    RecordsDatabase &m_database;
    QString m_failure; // a walk's on a connection of its own
};
