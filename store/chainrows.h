#pragma once

#include "store/recordchain.h"
#include "store/recordsdatabase.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QSqlQuery>
#include <QString>

#include <optional>
#include <vector>

struct LibsqliteApi;
struct sqlite3_stmt;

// The chained checkouts of one station's chain from a place on, in their order, as a walk over
// every chain reads them: each row's link and its chained columns' bytes, valid until the next
// row. On SQLite the bytes are read where SQLite keeps them, on the connection's own handle (a
// nightly walk reads a million records, and a value of Qt SQL for each column of each costs
// more than the hashing); on PostgreSQL through Qt SQL.
class ChainRows
{
public:
    explicit ChainRows(RecordsDatabase &database);
    ~ChainRows();
    ChainRows(const ChainRows &) = delete;
    ChainRows &operator=(const ChainRows &) = delete;

    // Selects station's chain from place from on; false with the reason in the database's
    // errorText().
    bool selectChain(const QString &station, qint64 from);
    // Selects the checkout id alone, chained or not.
    bool selectRecord(const QString &id);
    // The next row; false at the end or on failure (then failed() is true).
    bool next();
    bool failed() const { return m_failed; }

    qint64 position() const { return m_position; }
    QByteArrayView previous() const { return m_previous; }
    // Nothing for a checkout kept before chaining began.
    RecordChain::Field hash() const { return m_hash; }
    // Those of RecordChain::chainedColumns(), in its order: the first is the record's id.
    const std::vector<RecordChain::Field> &fields() const { return m_fields; }

private:
    bool select(const QString &condition, const QString &text, std::optional<qint64> number);
    void readSqliteRow();
    void readQueryRow();

    RecordsDatabase &m_database;
    const LibsqliteApi *m_sqlite = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    std::optional<QSqlQuery> m_query; // on PostgreSQL
    std::vector<QByteArray> m_values; // the bytes of a row read through Qt SQL
    bool m_failed = false;

    qint64 m_position = 0;
    QByteArrayView m_previous;
    RecordChain::Field m_hash;
    std::vector<RecordChain::Field> m_fields;
};
