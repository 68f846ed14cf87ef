#pragma once

#include "store/recordsdatabase.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>
#include <span>

// The chain that makes a kept checkout's later change visible: each checkout a station keeps
// carries the SHA-256 of its stored columns and of the hash of the station's previous checkout,
// and its place in that station's chain. It is made in the transaction that keeps the record,
// from the columns as they are written, so the record that waited in an outbox is chained when
// it reaches its database, with the content it had when the checkout ended.
namespace RecordChain {

// A checkout's place in its station's chain.
struct Link
{
    qint64 position = 0; // 1 for a station's first chained checkout
    QString previous;    // the previous checkout's hash; empty at position 1
    QString hash;        // SHA-256 of previous and the chained columns, in hex
};

// The columns of a kept checkout the hash covers, in the order they are hashed: every fact of
// the checkouts row, the whole record (every step and measurement) among them.
const QStringList &chainedColumns();
// The schema step that gives checkouts their chain columns; checkouts kept before have none.
QStringList schemaStep();

// Whether hashes can be made: false, with the reason in error, when OpenSSL's libcrypto is
// missing (then hashOf() gives nothing).
bool canHash(QString *error);
// The hash of values (those of chainedColumns(), as stored) chained to previous.
QString hashOf(const QString &previous, const QVariantList &values);
// A chained column's bytes as stored: its text in UTF-8, a number in decimal; nothing for NULL.
using Field = std::optional<QByteArrayView>;
// The same hash, as its 64 hex digits, of the chained columns' bytes: a walk over every record
// hashes them where it read them.
QByteArray hashOf(QByteArrayView previous, std::span<const Field> fields);

// The next link of station's chain for a checkout of values, inside the transaction that keeps
// it: a second transaction of the same station waits until this one is committed, so the chain
// never forks. Nothing on failure, with the reason in the database's errorText().
std::optional<Link> next(RecordsDatabase &database, const QString &station,
                         const QVariantList &values);

} // namespace RecordChain
