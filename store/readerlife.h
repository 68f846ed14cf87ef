#pragma once

#include "checkout/checkoutrecord.h"
#include "checkout/repairrecord.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class RecordsStore;

// One event of a reader's life: a checkout or a repair.
struct ReaderEvent
{
    std::optional<ReaderRecord> checkout;
    std::optional<RepairRecord> repair;

    QDateTime time() const;
    // A checkout: {"kind": "checkout", "time", "id", "station", "options", "operator", "lot",
    // "outcome", "failed_step", "message"}; a repair: {"kind": "repair", "time", ...} with the
    // repair's fields.
    QJsonObject toJson() const;
};

// A reader's life in the records of a line: its repairs, its checkouts and repairs in time
// order, and what the retest limit asks of them. On the thread that owns the store.
class ReaderLife
{
public:
    explicit ReaderLife(RecordsStore &store);

    // "1234" or "001234": the serial number, or nothing with what is wrong.
    static std::optional<int> serialFrom(const QString &text, QString *problem);
    // Schema step: the repairs table.
    static QStringList schemaStep();

    // Stores the repair (once for its id); false with the reason in the store's errorText().
    bool store(const RepairRecord &repair);
    // The id of the reader's latest checkout that failed or ended in error, "" when there is
    // none; nothing on failure.
    std::optional<QString> latestFailedCheckout(int serialNumber);
    // How many of the reader's latest attempts since its last repair failed or ended in error
    // in a row, counted up to limit; nothing on failure.
    std::optional<int> failuresSinceRepair(int serialNumber, int limit);
    // For a checkout that passed: the repair that came between it and the reader's attempt
    // before it, which its certificate names. Nothing when there is none (or on failure: a
    // certificate is still made).
    std::optional<RepairRecord> repairBehind(const ReaderRecord &checkout);
    // Every checkout and repair of the reader, oldest first; nothing on failure.
    std::optional<QList<ReaderEvent>> history(int serialNumber);

    // "History of SN 001234: ..." and one line an event, as a terminal shows it.
    static QString historyText(int serialNumber, const QList<ReaderEvent> &events);
    // {"serial", "events": [...]}
    static QJsonObject historyJson(int serialNumber, const QList<ReaderEvent> &events);

private:
    std::optional<QList<RepairRecord>> repairs(const QString &condition,
                                               const QVariantList &values);

    RecordsStore &m_store;
};
