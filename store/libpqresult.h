#pragma once

#include <QSqlRecord>
#include <QSqlResult>

struct pg_result;
class LibpqDriver;
struct LibpqApi;

// What a statement on a LibpqDriver answered, row by row for QSqlQuery. A statement prepared
// here is only kept as text, its "?" marks numbered ($1, $2, ...) for libpq: nothing is
// prepared on the server, and exec() sends the text with the values bound.
class LibpqResult : public QSqlResult
{
public:
    explicit LibpqResult(const LibpqDriver *driver);
    ~LibpqResult() override;
    LibpqResult(const LibpqResult &) = delete;
    LibpqResult &operator=(const LibpqResult &) = delete;

    // "?" outside quotes, quoted names and comments as $1, $2, ... in order.
    static QString numberedPlaceholders(const QString &statement);

protected:
    QVariant data(int field) override;
    bool isNull(int field) override;
    bool reset(const QString &statement) override;
    bool prepare(const QString &statement) override;
    bool exec() override;
    bool fetch(int row) override;
    bool fetchFirst() override;
    bool fetchLast() override;
    int size() override;
    int numRowsAffected() override;
    QSqlRecord record() const override;
    void detachFromResultSet() override;

private:
    bool take(pg_result *answer);
    void clearAnswer();
    LibpqDriver *driver() const;

    const LibpqApi *m_pq;
    pg_result *m_answer = nullptr;
    int m_rows = 0;
    QByteArray m_statement; // prepared, with numbered placeholders
};
