#include "store/readerlife.h"

#include "checkout/decimaltext.h"
#include "device/identification.h"
#include "store/recordsstore.h"
#include "store/yieldsummaries.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace {

const QString RepairColumns = QStringLiteral(
    "id, serial, checkout_id, repaired, technician, symptom, cause, action, parts, station");

RepairRecord repairOf(const QSqlQuery &query)
{
    RepairRecord repair;
    repair.id = query.value(0).toString();
    repair.serialNumber = query.value(1).toInt();
    repair.checkoutId = query.value(2).toString();
    repair.repaired = QDateTime::fromString(query.value(3).toString(), Qt::ISODateWithMs);
    repair.technician = query.value(4).toString();
    repair.symptom = query.value(5).toString();
    repair.cause = query.value(6).toString();
    repair.action = query.value(7).toString();
    for (const QJsonValue &part : QJsonDocument::fromJson(query.value(8).toByteArray()).array())
        repair.parts.append(part.toString());
    repair.station = query.value(9).toString();
    return repair;
}

// The first step that failed or ended in error, or nothing.
const StepRecord *failedStep(const ReaderRecord &record)
{
    const auto step = std::find_if(record.steps.cbegin(), record.steps.cend(), [](const auto &s) {
        return s.outcome == StepOutcome::Fail || s.outcome == StepOutcome::Error;
    });
    return step == record.steps.cend() ? nullptr : &*step;
}

// "model=8 echo=all": what the checkout asked for, its plan first when it had one.
QString optionsText(const QJsonObject &options)
{
    QStringList words;
    for (auto option = options.constBegin(); option != options.constEnd(); ++option) {
        if (option->isNull() || option->isArray() || option->isObject() ||
            (option->isBool() && !option->toBool()))
            continue;
        words.append(option->isBool()
                         ? option.key()
                         : option.key() + QLatin1Char('=') + option->toVariant().toString());
    }
    return words.join(QLatin1Char(' '));
}

QString minuteText(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

QDateTime ReaderEvent::time() const
{
    return checkout ? checkout->started : repair->repaired;
}

QJsonObject ReaderEvent::toJson() const
{
    if (repair) {
        QJsonObject object = repair->toJson();
        object.insert(QStringLiteral("kind"), QStringLiteral("repair"));
        object.insert(QStringLiteral("time"), isoUtc(repair->repaired));
        return object;
    }
    const StepRecord *failed = failedStep(*checkout);
    return {{QStringLiteral("kind"), QStringLiteral("checkout")},
            {QStringLiteral("time"), isoUtc(checkout->started)},
            {QStringLiteral("id"), checkout->id},
            {QStringLiteral("station"), checkout->station},
            {QStringLiteral("options"), checkout->options},
            {QStringLiteral("operator"), checkout->operatorName},
            {QStringLiteral("lot"), checkout->lot},
            {QStringLiteral("plan"),
             checkout->plan.isEmpty() ? QJsonValue() : QJsonValue(checkout->plan.name)},
            {QStringLiteral("outcome"), outcomeName(checkout->outcome)},
            {QStringLiteral("failed_step"), failed ? QJsonValue(failed->name) : QJsonValue()},
            {QStringLiteral("message"),
             failed ? QJsonValue(failed->message)
                    : (checkout->refusal.isEmpty() ? QJsonValue() : checkout->refusal)}};
}

ReaderLife::ReaderLife(RecordsStore &store) : m_store(store) {}

std::optional<int> ReaderLife::serialFrom(const QString &text, QString *problem)
{
    const std::optional<uint> serial = DecimalText::inRange(text, 0, 0xFFFF);
    if (!serial)
        *problem = QStringLiteral("the serial number must be a number from 0 to 65535, not '%1'")
                       .arg(text);
    return serial ? std::optional<int>(int(*serial)) : std::nullopt;
}

QStringList ReaderLife::schemaStep()
{
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS repairs ("
                       "id VARCHAR(64) PRIMARY KEY, "
                       "serial INTEGER NOT NULL, "
                       "checkout_id VARCHAR(64) NOT NULL, "
                       "repaired VARCHAR(32) NOT NULL, "
                       "technician TEXT NOT NULL, "
                       "symptom TEXT NOT NULL, "
                       "cause TEXT NOT NULL, "
                       "action TEXT NOT NULL, "
                       "parts TEXT NOT NULL, "
                       "station TEXT NOT NULL)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS repairs_serial ON repairs (serial, repaired)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS repairs_time ON repairs (repaired)")};
}

bool ReaderLife::store(const RepairRecord &repair)
{
    RecordsDatabase &database = m_store.database();
    return database.transaction([&] {
        QSqlQuery insert = database.prepare(
            QStringLiteral("INSERT INTO repairs (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                           "ON CONFLICT (id) DO NOTHING")
                .arg(RepairColumns));
        for (const QVariant &value : QVariantList{
                 repair.id, repair.serialNumber, repair.checkoutId, isoUtc(repair.repaired),
                 repair.technician, repair.symptom, repair.cause, repair.action,
                 QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(repair.parts))
                                       .toJson(QJsonDocument::Compact)),
                 repair.station})
            // A fact left empty is an empty text, never NULL.
            insert.addBindValue(value.typeId() == QMetaType::QString && value.toString().isNull()
                                    ? QVariant(QStringLiteral(""))
                                    : value);
        return database.exec(insert);
    });
}

std::optional<QString> ReaderLife::latestFailedCheckout(int serialNumber)
{
    QSqlQuery query = m_store.database().prepare(
        QStringLiteral("SELECT id FROM checkouts WHERE serial = ? AND outcome IN ('fail', "
                       "'error') ORDER BY started DESC, id DESC LIMIT 1"));
    query.addBindValue(serialNumber);
    if (!m_store.database().exec(query))
        return std::nullopt;
    return query.next() ? query.value(0).toString() : QStringLiteral("");
}

std::optional<int> ReaderLife::failuresSinceRepair(int serialNumber, int limit)
{
    QSqlQuery *query = m_store.database().prepared(
        QStringLiteral("SELECT outcome FROM checkouts WHERE serial = ? AND %1 AND started > "
                       "COALESCE((SELECT max(repaired) FROM repairs WHERE serial = ?), '') "
                       "ORDER BY started DESC, id DESC LIMIT ?")
            .arg(YieldSummaries::isAttempt()));
    if (!query)
        return std::nullopt;
    query->addBindValue(serialNumber);
    query->addBindValue(serialNumber);
    query->addBindValue(limit);
    if (!m_store.database().exec(*query))
        return std::nullopt;
    int failures = 0;
    while (query->next() && query->value(0).toString() != QLatin1String("pass"))
        ++failures;
    query->finish();
    return failures;
}

std::optional<RepairRecord> ReaderLife::repairBehind(const ReaderRecord &checkout)
{
    if (!checkout.serialNumber)
        return std::nullopt;
    const QString started = isoUtc(checkout.started);
    const auto found = repairs(
        QStringLiteral("r.serial = ? AND r.repaired < ? AND NOT EXISTS (SELECT 1 FROM checkouts "
                       "c WHERE c.serial = r.serial AND c.%1 AND c.started > r.repaired AND "
                       "c.started < ?) ORDER BY r.repaired DESC LIMIT 1")
            .arg(YieldSummaries::isAttempt()),
        {*checkout.serialNumber, started, started});
    if (!found || found->isEmpty())
        return std::nullopt;
    return found->first();
}

std::optional<QList<RepairRecord>> ReaderLife::repairs(const QString &condition,
                                                       const QVariantList &values)
{
    QSqlQuery query = m_store.database().prepare(
        QStringLiteral("SELECT %1 FROM repairs r WHERE %2").arg(RepairColumns, condition));
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!m_store.database().exec(query))
        return std::nullopt;
    QList<RepairRecord> found;
    while (query.next())
        found.append(repairOf(query));
    if (!m_store.database().readToTheEnd(query))
        return std::nullopt;
    return found;
}

std::optional<QList<ReaderEvent>> ReaderLife::history(int serialNumber)
{
    QSqlQuery query = m_store.database().prepare(
        QStringLiteral("SELECT record FROM checkouts WHERE serial = ? ORDER BY started, id"));
    query.addBindValue(serialNumber);
    if (!m_store.database().exec(query))
        return std::nullopt;
    QList<ReaderEvent> events;
    while (query.next()) {
        if (auto record = ReaderRecord::fromJson(
                QJsonDocument::fromJson(query.value(0).toByteArray()).object()))
            events.append({std::move(record), std::nullopt});
    }
    if (!m_store.database().readToTheEnd(query))
        return std::nullopt;
    const auto repaired =
        repairs(QStringLiteral("serial = ? ORDER BY repaired, id"), {serialNumber});
    if (!repaired)
        return std::nullopt;
    for (const RepairRecord &repair : *repaired)
        events.append({std::nullopt, repair});
    // A repair entered at the moment of a checkout follows it: it answers that checkout.
    std::stable_sort(events.begin(), events.end(), [](const ReaderEvent &a, const ReaderEvent &b) {
        return a.time() < b.time();
    });
    return events;
}

QString ReaderLife::historyText(int serialNumber, const QList<ReaderEvent> &events)
{
    const auto checkouts = std::count_if(events.cbegin(), events.cend(),
                                         [](const ReaderEvent &each) { return each.checkout; });
    const auto counted = [](qsizetype count, const QString &word) {
        return QStringLiteral("%1 %2%3").arg(count).arg(word, count == 1 ? "" : "s");
    };
    QString text = QStringLiteral("SN %1: %2, %3\n")
                       .arg(Identification::serialText(quint16(serialNumber)),
                            counted(checkouts, QStringLiteral("checkout")),
                            counted(events.size() - checkouts, QStringLiteral("repair")));
    for (const ReaderEvent &event : events) {
        QStringList fields{minuteText(event.time())};
        if (event.repair) {
            const RepairRecord &repair = *event.repair;
            fields << QStringLiteral("REPAIR ") << repair.station << repair.technician
                   << repair.action + (repair.parts.isEmpty()
                                           ? QString()
                                           : QStringLiteral(" (parts %1)")
                                                 .arg(repair.parts.join(QLatin1String(", "))))
                   << QStringLiteral("symptom: ") + repair.symptom;
            if (!repair.cause.isEmpty())
                fields << QStringLiteral("cause: ") + repair.cause;
        } else {
            const ReaderRecord &checkout = *event.checkout;
            fields << outcomeName(checkout.outcome).toUpper().leftJustified(7) << checkout.station
                   << checkout.operatorName << checkout.lot
                   << (checkout.plan.isEmpty() ? QString()
                                               : QStringLiteral("plan ") + checkout.plan.name)
                   << optionsText(checkout.options);
            if (const StepRecord *failed = failedStep(checkout))
                fields << failed->name + QStringLiteral(": ") + failed->message;
            else if (!checkout.refusal.isEmpty())
                fields << checkout.refusal;
        }
        fields.removeAll(QString());
        text += fields.join(QLatin1String("  ")) + QLatin1Char('\n');
    }
    return text;
}

QJsonObject ReaderLife::historyJson(int serialNumber, const QList<ReaderEvent> &events)
{
    QJsonArray list;
    for (const ReaderEvent &event : events)
        list.append(event.toJson());
    return {{QStringLiteral("serial"), Identification::serialText(quint16(serialNumber))},
            {QStringLiteral("events"), list}};
}
