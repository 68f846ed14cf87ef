#pragma once

#include "checkout/checkoutrecord.h"
#include "checkout/repairrecord.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// The checkout of one reader as a factory's equipment tells it on the line's message bus
// (IPC-CFX): three messages in the CFX envelope that share one transaction, the record's id.
//
//     CFX.Production.WorkStarted                      when the reader's checkout starts
//     CFX.Production.TestAndInspection.UnitsTested    when it ends: every step as a test, each
//                                                     numeric measurement with its limits, a
//                                                     symptom for a failed step
//     CFX.Production.WorkCompleted                    right after it, with the reader's serial
//
// Every field comes from the record's data (outcomes, typed measurements, limits), never from
// its text. A message's UniqueID and every identifier inside it are made from the record's id
// and the message's name, so the same record always gives the same identifiers: a consumer
// drops a message it has already seen, whether it was sent again after a lost acknowledgement
// or by a later backfill.
namespace CfxMessages {

// The release of the standard whose names and enumerations these messages follow.
inline const QString Version = QStringLiteral("2.0");

inline const QString WorkStartedName = QStringLiteral("CFX.Production.WorkStarted");
inline const QString UnitsTestedName =
    QStringLiteral("CFX.Production.TestAndInspection.UnitsTested");
inline const QString WorkCompletedName = QStringLiteral("CFX.Production.WorkCompleted");
// A repair between a failed checkout and its retest: one Repairs entry per part replaced (one
// without a part when none was), RepairName the action, Comments the symptom and the cause, and
// RelatedSymptomIdentifiers the symptoms of the failed checkout's UnitsTested.
inline const QString UnitsRepairedName =
    QStringLiteral("CFX.Production.ReworkAndRepair.UnitsRepaired");

// Who sends, and where the reader sat.
struct Source
{
    QString handle;              // the station's CFX handle: "Vorn.Station.line-2-station-1"
    std::optional<int> position; // the reader's port among the station's ports, 1 first
};

// "Vorn.Station.<station>": the handle a station has unless it is given one.
QString defaultHandle(const QString &station);

// The envelope's fields for a message of that name and body.
QJsonObject envelope(const QString &messageName, const ReaderRecord &record, const QDateTime &time,
                     const Source &source, QJsonObject body);

// A record as it stands when its checkout starts (id, station, port, start), whatever it
// holds.
QJsonObject workStarted(const ReaderRecord &record, const Source &source);
QJsonObject unitsTested(const ReaderRecord &record, const Source &source);
QJsonObject workCompleted(const ReaderRecord &record, const Source &source);

// UnitsTested then WorkCompleted: what a finished checkout sends.
QList<QJsonObject> checkoutEnded(const ReaderRecord &record, const Source &source);
// All three, for a record that is sent afterwards.
QList<QJsonObject> wholeCheckout(const ReaderRecord &record, const Source &source);

// The record's id as a GUID: the id itself when it is one, else one made from it.
QString transactionId(const ReaderRecord &record);

// The UniqueIdentifiers of the symptoms the record's UnitsTested carries (its failed steps).
QStringList symptomIdentifiers(const ReaderRecord &record);
// The repair of the reader whose failed checkout it answers, sent by handle.
QJsonObject unitsRepaired(const RepairRecord &repair, const ReaderRecord &failed,
                          const QString &handle);

} // namespace CfxMessages
