#include "cli/readerlifecommand.h"

#include "cli/recordscommand.h"
#include "device/identification.h"
#include "store/readerlife.h"
#include "store/recordsstore.h"

#include <QIODevice>
#include <QJsonDocument>

namespace {

QString serialText(int serialNumber)
{
    return QStringLiteral("SN ") + Identification::serialText(quint16(serialNumber));
}

} // namespace

ReaderLifeCommand::ReaderLifeCommand(QIODevice &output, QIODevice &error)
    : m_output(output), m_error(error)
{
}

std::optional<RepairRecord> ReaderLifeCommand::repair(int serialNumber, const Repair &given,
                                                      RecordsStore &store, int *exitCode)
{
    ReaderLife life(store);
    RepairRecord repair;
    repair.checkoutId = given.checkoutId;
    if (repair.checkoutId.isEmpty()) {
        const std::optional<QString> latest = life.latestFailedCheckout(serialNumber);
        if (!latest) {
            *exitCode = fail(RecordsCommand::DatabaseFailed, store.errorText());
            return std::nullopt;
        }
        if (latest->isEmpty()) {
            *exitCode = fail(RecordsCommand::UsageError,
                             QStringLiteral("%1 has no failed checkout for a repair to answer")
                                 .arg(serialText(serialNumber)));
            return std::nullopt;
        }
        repair.checkoutId = *latest;
    } else {
        std::optional<ReaderRecord> checkout;
        if (!store.find(repair.checkoutId, checkout)) {
            *exitCode = fail(RecordsCommand::DatabaseFailed, store.errorText());
            return std::nullopt;
        }
        QString refusal;
        if (!checkout)
            *exitCode = fail(RecordsCommand::NoSuchRecord,
                             QStringLiteral("no checkout record %1 in %2")
                                 .arg(repair.checkoutId, store.location().description()));
        else if (checkout->serialNumber != serialNumber)
            refusal = QStringLiteral("checkout %1 is of %2, not of %3")
                          .arg(repair.checkoutId,
                               checkout->serialNumber ? serialText(*checkout->serialNumber)
                                                      : QStringLiteral("a reader never identified"),
                               serialText(serialNumber));
        else if (checkout->outcome == ReaderOutcome::Pass)
            refusal = QStringLiteral("checkout %1 passed: a repair answers a checkout that did not")
                          .arg(repair.checkoutId);
        if (!refusal.isEmpty())
            *exitCode = fail(RecordsCommand::UsageError, refusal);
        if (!checkout || !refusal.isEmpty())
            return std::nullopt;
    }
    repair.id = ReaderRecord::newId();
    repair.serialNumber = serialNumber;
    repair.repaired = QDateTime::currentDateTimeUtc();
    repair.technician = given.technician;
    repair.symptom = given.symptom;
    repair.cause = given.cause;
    repair.action = given.action;
    repair.parts = given.parts;
    repair.station = given.station;
    if (!life.store(repair)) {
        *exitCode = fail(RecordsCommand::DatabaseFailed, store.errorText());
        return std::nullopt;
    }
    m_output.write(QStringLiteral("repair %1 of %2 kept, answering checkout %3\n")
                       .arg(repair.id, serialText(serialNumber), repair.checkoutId)
                       .toUtf8());
    *exitCode = RecordsCommand::Done;
    return repair;
}

int ReaderLifeCommand::history(int serialNumber, bool json, RecordsStore &store)
{
    const std::optional<QList<ReaderEvent>> events = ReaderLife(store).history(serialNumber);
    if (!events)
        return fail(RecordsCommand::DatabaseFailed, store.errorText());
    if (events->isEmpty())
        return fail(RecordsCommand::NoSuchRecord,
                    QStringLiteral("no checkouts or repairs of %1 in %2")
                        .arg(serialText(serialNumber), store.location().description()));
    if (json)
        m_output.write(QJsonDocument(ReaderLife::historyJson(serialNumber, *events))
                           .toJson(QJsonDocument::Compact) +
                       '\n');
    else
        m_output.write(ReaderLife::historyText(serialNumber, *events).toUtf8());
    return RecordsCommand::Done;
}

int ReaderLifeCommand::fail(int exitCode, const QString &message)
{
    m_error.write("vornctl: " + message.toUtf8() + '\n');
    return exitCode;
}
