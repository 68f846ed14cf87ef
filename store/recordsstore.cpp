#include "store/recordsstore.h"

#include "store/recordtext.h"

#include "device/identification.h"
#include "store/readerlife.h"
#include "store/recordchain.h"
#include "store/schemamigration.h"
#include "store/yieldsummaries.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QVariant>

namespace {

const QString StepsFromRecords = QStringLiteral(
    "INSERT INTO checkout_steps (record_id, step_index, step, outcome, duration_ms, message) ");

QStringList plansAndStepsStep()
{
    using Kind = RecordsLocation::Kind;
    return QStringList{
               SchemaMigration::named(
                   QStringLiteral("plans, and each step of a checkout as a row")),
               QStringLiteral(
                   "ALTER TABLE checkouts ADD COLUMN plan_name TEXT NOT NULL DEFAULT ''"),
               QStringLiteral(
                   "ALTER TABLE checkouts ADD COLUMN plan_revision TEXT NOT NULL DEFAULT ''"),
               QStringLiteral(
                   "ALTER TABLE checkouts ADD COLUMN plan_sha256 TEXT NOT NULL DEFAULT ''"),
               SchemaMigration::overEveryCheckout(QStringLiteral(
                   "CREATE INDEX IF NOT EXISTS checkouts_plan ON checkouts (plan_name, started)")),
               QStringLiteral("CREATE TABLE IF NOT EXISTS checkout_steps ("
                              "record_id VARCHAR(64) NOT NULL REFERENCES checkouts (id), "
                              "step_index INTEGER NOT NULL, "
                              "step VARCHAR(32) NOT NULL, "
                              "outcome VARCHAR(8) NOT NULL, "
                              "duration_ms BIGINT NOT NULL, "
                              "message TEXT NOT NULL, "
                              "PRIMARY KEY (record_id, step_index))"),
               QStringLiteral("CREATE INDEX IF NOT EXISTS checkout_steps_outcome "
                              "ON checkout_steps (outcome, step)"),
               RecordsDatabase::onlyOn(
                   Kind::Sqlite,
                   SchemaMigration::overEveryCheckout(StepsFromRecords) +
                       QStringLiteral("SELECT c.id, CAST(s.key AS INTEGER), "
                                      "json_extract(s.value, '$.name'), "
                                      "json_extract(s.value, '$.outcome'), "
                                      "COALESCE(json_extract(s.value, '$.duration_ms'), 0), "
                                      "COALESCE(json_extract(s.value, '$.message'), '') "
                                      "FROM checkouts AS c, json_each(c.record, '$.steps') AS s")),
               RecordsDatabase::onlyOn(
                   Kind::PostgreSql,
                   SchemaMigration::overEveryCheckout(StepsFromRecords) +
                       QStringLiteral("SELECT c.id, s.n - 1, s.value ->> 'name', "
                                      "s.value ->> 'outcome', "
                                      "COALESCE(CAST(s.value ->> 'duration_ms' AS BIGINT), 0), "
                                      "COALESCE(s.value ->> 'message', '') FROM checkouts AS c "
                                      "CROSS JOIN LATERAL json_array_elements("
                                      "CAST(c.record AS json) -> 'steps') "
                                      "WITH ORDINALITY AS s(value, n)")),
           } +
           YieldSummaries::stepFailuresStep();
}

// The schema, step by step. Every fact `records list` filters on has an index that also
// orders by time, so "the last checkouts of serial 1234" reads a few index entries however
// many checkouts the line has kept.
const RecordsDatabase::Migrations Schema = {
    {
        SchemaMigration::named(QStringLiteral("the checkouts")),
        QStringLiteral("CREATE TABLE IF NOT EXISTS checkouts ("
                       "id VARCHAR(64) PRIMARY KEY, "
                       "started VARCHAR(32) NOT NULL, "
                       "station TEXT NOT NULL, "
                       "port TEXT NOT NULL, "
                       "model VARCHAR(16) NOT NULL, "
                       "serial INTEGER, "
                       "outcome VARCHAR(16) NOT NULL, "
                       "failed_steps TEXT NOT NULL, "
                       "duration_ms BIGINT NOT NULL, "
                       "record TEXT NOT NULL)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS checkouts_started ON checkouts (started)"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS checkouts_serial ON checkouts (serial, started)"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS checkouts_station ON checkouts (station, started)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS checkouts_port ON checkouts (port, started)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS checkouts_model ON checkouts (model, started)"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS checkouts_outcome ON checkouts (outcome, started)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS checkouts_failed_steps "
                       "ON checkouts (failed_steps, started)"),
    },
    // Who checked, with what and for which lot; and every measurement as a row of its own, so
    // that a value can be charted across readers with plain SQL. Records kept before keep their
    // text and get empty traceability columns.
    {
        SchemaMigration::named(QStringLiteral("traceability and measurements")),
        QStringLiteral("ALTER TABLE checkouts ADD COLUMN tool TEXT NOT NULL DEFAULT ''"),
        QStringLiteral("ALTER TABLE checkouts ADD COLUMN tool_version TEXT NOT NULL DEFAULT ''"),
        QStringLiteral("ALTER TABLE checkouts ADD COLUMN operator TEXT NOT NULL DEFAULT ''"),
        QStringLiteral("ALTER TABLE checkouts ADD COLUMN lot TEXT NOT NULL DEFAULT ''"),
        QStringLiteral("ALTER TABLE checkouts ADD COLUMN firmware INTEGER"),
        SchemaMigration::overEveryCheckout(
            QStringLiteral("CREATE INDEX IF NOT EXISTS checkouts_lot ON checkouts (lot, started)")),
        SchemaMigration::overEveryCheckout(QStringLiteral(
            "CREATE INDEX IF NOT EXISTS checkouts_operator ON checkouts (operator, started)")),
        SchemaMigration::overEveryCheckout(QStringLiteral(
            "CREATE INDEX IF NOT EXISTS checkouts_firmware ON checkouts (firmware, started)")),
        QStringLiteral("CREATE TABLE IF NOT EXISTS measurements ("
                       "record_id VARCHAR(64) NOT NULL REFERENCES checkouts (id), "
                       "step VARCHAR(32) NOT NULL, "
                       "name VARCHAR(64) NOT NULL, "
                       "value_number DOUBLE PRECISION, "
                       "value_text TEXT, "
                       "unit VARCHAR(16) NOT NULL, "
                       "limit_low DOUBLE PRECISION, "
                       "limit_high DOUBLE PRECISION, "
                       "limit_json TEXT, "
                       "outcome VARCHAR(8) NOT NULL, "
                       "PRIMARY KEY (record_id, step, name))"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS measurements_name "
                       "ON measurements (name, step, value_number)"),
    },
    // The yield report's summaries, kept with every record from now on and filled from the
    // records kept before, and the day-level views for charting tools.
    QStringList{SchemaMigration::named(QStringLiteral("the yield summaries"))} +
        YieldSummaries::schemaStep(),
    // A reader's life: its first-pass yield counted from its first attempt ever, and the
    // repairs between a failed checkout and its retest.
    QStringList{SchemaMigration::named(QStringLiteral("first attempts and repairs"))} +
        YieldSummaries::firstsStep() + ReaderLife::schemaStep(),
    // The plan each checkout ran (records kept before have none), and each step of a checkout
    // as a row of its own, filled from the records kept before: what failed is a join, not a
    // text matched with LIKE.
    plansAndStepsStep(),
    // Each checkout chained to its station's previous one, so that a later change shows.
    QStringList{SchemaMigration::named(QStringLiteral("each checkout chained to the one before"))} +
        RecordChain::schemaStep(),
};

// The last: the message of the first step that failed or had an error, found by the steps'
// primary key.
const QString SummaryColumns = QStringLiteral(
    "id, started, station, port, model, serial, outcome, failed_steps, operator, lot, plan_name, "
    "(SELECT s.message FROM checkout_steps AS s WHERE s.record_id = checkouts.id "
    "AND s.outcome IN ('fail', 'error') ORDER BY s.step_index LIMIT 1)");

// Text columns hold an empty text, never NULL, for a fact the record leaves empty.
QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

QVariant optionalInt(const std::optional<int> &value)
{
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<int>());
}

RecordSummary summaryOf(const QSqlQuery &query)
{
    RecordSummary summary;
    summary.id = query.value(0).toString();
    summary.started = QDateTime::fromString(query.value(1).toString(), Qt::ISODateWithMs);
    summary.station = query.value(2).toString();
    summary.port = query.value(3).toString();
    summary.model = query.value(4).toString();
    if (!query.value(5).isNull())
        summary.serialNumber = query.value(5).toInt();
    summary.outcome = query.value(6).toString();
    summary.failedSteps = query.value(7).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    summary.operatorName = query.value(8).toString();
    summary.lot = query.value(9).toString();
    summary.plan = query.value(10).toString();
    summary.failedMessage = query.value(11).toString();
    return summary;
}

QString compactJson(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QVariant optionalDouble(const std::optional<double> &value)
{
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<double>());
}

// A number (true and false as 1 and 0) in value_number, a text (and true/false) in value_text.
void bindValue(QSqlQuery &query, const QJsonValue &value)
{
    const QVariant noNumber(QMetaType::fromType<double>());
    const QVariant noText(QMetaType::fromType<QString>());
    if (value.isDouble()) {
        query.addBindValue(value.toDouble());
        query.addBindValue(noText);
    } else if (value.isBool()) {
        query.addBindValue(value.toBool() ? 1.0 : 0.0);
        query.addBindValue(value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
    } else {
        query.addBindValue(noNumber);
        query.addBindValue(value.isString() ? QVariant(value.toString()) : noText);
    }
}

} // namespace

QJsonObject RecordSummary::toJson() const
{
    return {{QStringLiteral("id"), id},
            {QStringLiteral("started"), isoUtc(started)},
            {QStringLiteral("station"), station},
            {QStringLiteral("port"), port},
            {QStringLiteral("model"), model.isEmpty() ? QJsonValue() : QJsonValue(model)},
            {QStringLiteral("serial"),
             serialNumber ? QJsonValue(Identification::serialText(quint16(*serialNumber)))
                          : QJsonValue()},
            {QStringLiteral("outcome"), outcome},
            {QStringLiteral("failed_steps"), QJsonArray::fromStringList(failedSteps)},
            {QStringLiteral("failed_message"), failedMessage},
            {QStringLiteral("operator"), operatorName},
            {QStringLiteral("lot"), lot},
            {QStringLiteral("plan"), plan}};
}

QJsonObject RecordSummary::listJson(const QList<RecordSummary> &summaries)
{
    QJsonArray records;
    for (const RecordSummary &summary : summaries)
        records.append(summary.toJson());
    return {{QStringLiteral("records"), records}};
}

const QStringList &RecordSummary::columnNames()
{
    static const QStringList names{
        QStringLiteral("id"),           QStringLiteral("started"),
        QStringLiteral("station"),      QStringLiteral("port"),
        QStringLiteral("model"),        QStringLiteral("serial"),
        QStringLiteral("operator"),     QStringLiteral("lot"),
        QStringLiteral("plan"),         QStringLiteral("outcome"),
        QStringLiteral("failed_steps"), QStringLiteral("failed_message")};
    return names;
}

QStringList RecordSummary::columns(const QString &time) const
{
    return {id,
            time,
            station,
            port,
            model,
            serialNumber ? Identification::serialText(quint16(*serialNumber)) : QString(),
            operatorName,
            lot,
            plan,
            outcome,
            failedSteps.join(QLatin1Char(' ')),
            failedMessage};
}

QString RecordSummary::listCsv(const QList<RecordSummary> &summaries)
{
    QString text = columnNames().join(QLatin1Char(',')) + QStringLiteral("\r\n");
    for (const RecordSummary &summary : summaries) {
        QStringList fields = summary.columns(isoUtc(summary.started));
        for (QString &field : fields)
            field = RecordText::csvField(field);
        text += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return text;
}

RecordsStore::RecordsStore(const RecordsLocation &location) : m_database(location) {}

bool RecordsStore::open(OpenMode mode)
{
    return m_database.open(Schema, mode);
}

QVariantList RecordsStore::chainedValues(const ReaderRecord &record)
{
    return {record.id,
            isoUtc(record.started),
            text(record.station),
            text(record.port),
            text(record.modelName()),
            optionalInt(record.serialNumber),
            outcomeName(record.outcome),
            text(record.failedSteps().join(QLatin1Char(' '))),
            record.durationMs,
            compactJson(record.toJson()),
            text(record.tool),
            text(record.toolVersion),
            text(record.operatorName),
            text(record.lot),
            optionalInt(record.firmware),
            text(record.plan.name),
            text(record.plan.revision),
            text(record.plan.sha256)};
}

RecordsStore::Stored RecordsStore::store(const ReaderRecord &record)
{
    const QVariantList values = chainedValues(record);
    bool added = false;
    const bool stored = m_database.transaction([&] {
        const std::optional<RecordChain::Link> link =
            RecordChain::next(m_database, text(record.station), values);
        if (!link)
            return false;
        QSqlQuery *prepared = m_database.prepared(
            QStringLiteral("INSERT INTO checkouts (%1, chain_position, chain_previous, chain_hash) "
                           "VALUES (%2?, ?, ?) ON CONFLICT (id) DO NOTHING")
                .arg(RecordChain::chainedColumns().join(QStringLiteral(", ")),
                     QStringLiteral("?, ").repeated(values.size())));
        if (!prepared)
            return false;
        QSqlQuery &insert = *prepared;
        for (const QVariant &value : values)
            insert.addBindValue(value);
        insert.addBindValue(link->position);
        insert.addBindValue(link->previous.isEmpty() ? QStringLiteral("") : link->previous);
        insert.addBindValue(link->hash);
        if (!m_database.exec(insert))
            return false;
        added = insert.numRowsAffected() == 1;
        // A record sent again has its measurements already and is counted in the summaries.
        return !added || (storeSteps(record) && storeMeasurements(record) &&
                          YieldSummaries::add(m_database, record));
    });
    if (!stored)
        return Stored::Failed;
    return added ? Stored::Added : Stored::AlreadyThere;
}

// All of a record's steps in one statement.
bool RecordsStore::storeSteps(const ReaderRecord &record)
{
    if (record.steps.isEmpty())
        return true;
    const QStringList rows(record.steps.size(), QStringLiteral("(?, ?, ?, ?, ?, ?)"));
    QSqlQuery *insert = m_database.prepared(StepsFromRecords + QStringLiteral("VALUES ") +
                                            rows.join(QLatin1String(", ")));
    if (!insert)
        return false;
    for (qsizetype index = 0; index < record.steps.size(); ++index) {
        const StepRecord &step = record.steps.at(index);
        insert->addBindValue(record.id);
        insert->addBindValue(int(index));
        insert->addBindValue(step.name);
        insert->addBindValue(outcomeName(step.outcome));
        insert->addBindValue(step.durationMs);
        insert->addBindValue(text(step.message));
    }
    return m_database.exec(*insert);
}

// All of a record's measurements in one statement.
bool RecordsStore::storeMeasurements(const ReaderRecord &record)
{
    qsizetype count = 0;
    for (const StepRecord &step : record.steps)
        count += step.measurements.size();
    if (count == 0)
        return true;
    const QStringList rows(count, QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    QSqlQuery *insert = m_database.prepared(
        QStringLiteral("INSERT INTO measurements (record_id, step, name, value_number, "
                       "value_text, unit, limit_low, limit_high, limit_json, outcome) VALUES ") +
        rows.join(QLatin1String(", ")));
    if (!insert)
        return false;
    for (const StepRecord &step : record.steps) {
        for (const Measurement &measurement : step.measurements) {
            insert->addBindValue(record.id);
            insert->addBindValue(step.name);
            insert->addBindValue(measurement.name);
            bindValue(*insert, measurement.value);
            insert->addBindValue(text(measurement.unit));
            insert->addBindValue(optionalDouble(measurement.limit.low()));
            insert->addBindValue(optionalDouble(measurement.limit.high()));
            const QJsonValue limit = measurement.limit.toJson();
            insert->addBindValue(limit.isObject() ? QVariant(compactJson(limit.toObject()))
                                                  : QVariant(QMetaType::fromType<QString>()));
            insert->addBindValue(measurement.outcomeName());
        }
    }
    return m_database.exec(*insert);
}

bool RecordsStore::find(const QString &id, std::optional<ReaderRecord> &record)
{
    record.reset();
    QSqlQuery query =
        m_database.prepare(QStringLiteral("SELECT record FROM checkouts WHERE id = ?"));
    query.addBindValue(id);
    if (!m_database.exec(query))
        return false;
    if (query.next())
        record = ReaderRecord::fromJson(
            QJsonDocument::fromJson(query.value(0).toString().toUtf8()).object());
    return true;
}

std::optional<QStringList> RecordsStore::idsStartingWith(const QString &prefix, int limit)
{
    QString pattern = prefix;
    for (const QLatin1String special :
         {QLatin1String("\\"), QLatin1String("%"), QLatin1String("_")})
        pattern.replace(special, QLatin1String("\\") + special);
    QSqlQuery query = m_database.prepare(
        QStringLiteral("SELECT id FROM checkouts WHERE id LIKE ? ESCAPE '\\' ORDER BY id LIMIT ?"));
    query.addBindValue(pattern + QLatin1Char('%'));
    query.addBindValue(limit);
    if (!m_database.exec(query))
        return std::nullopt;
    QStringList ids;
    while (query.next())
        ids.append(query.value(0).toString());
    if (!m_database.readToTheEnd(query))
        return std::nullopt;
    return ids;
}

std::optional<QList<RecordSummary>> RecordsStore::list(const RecordsQuery &filter)
{
    QStringList conditions;
    QVariantList values;
    if (filter.serialNumber) {
        conditions.append(QStringLiteral("serial = ?"));
        values.append(*filter.serialNumber);
    }
    if (filter.outcome) {
        conditions.append(QStringLiteral("outcome = ?"));
        values.append(outcomeName(*filter.outcome));
    }
    if (filter.since.isValid()) {
        conditions.append(QStringLiteral("started >= ?"));
        values.append(isoUtc(filter.since));
    }
    if (filter.until.isValid()) {
        conditions.append(QStringLiteral("started < ?"));
        values.append(isoUtc(filter.until));
    }
    if (!filter.station.isEmpty()) {
        conditions.append(QStringLiteral("station = ?"));
        values.append(filter.station);
    }
    if (!filter.model.isEmpty()) {
        conditions.append(QStringLiteral("model = ?"));
        values.append(filter.model);
    }
    if (!filter.lot.isEmpty()) {
        conditions.append(QStringLiteral("lot = ?"));
        values.append(filter.lot);
    }
    if (!filter.plan.isEmpty()) {
        conditions.append(QStringLiteral("plan_name = ?"));
        values.append(filter.plan);
    }
    if (!filter.operatorName.isEmpty()) {
        conditions.append(QStringLiteral("operator = ?"));
        values.append(filter.operatorName);
    }
    QString statement = QStringLiteral("SELECT %1 FROM checkouts").arg(SummaryColumns);
    if (!conditions.isEmpty())
        statement += QStringLiteral(" WHERE ") + conditions.join(QLatin1String(" AND "));
    statement += QStringLiteral(" ORDER BY started DESC, id DESC");
    if (filter.limit) {
        statement += QStringLiteral(" LIMIT ?");
        values.append(*filter.limit);
    }

    QSqlQuery query = m_database.prepare(statement);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!m_database.exec(query))
        return std::nullopt;
    QList<RecordSummary> summaries;
    while (query.next())
        summaries.append(summaryOf(query));
    if (!m_database.readToTheEnd(query))
        return std::nullopt;
    return summaries;
}
