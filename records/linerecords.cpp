#include "records/linerecords.h"

#include "device/identification.h"
#include "documents/recordcertificate.h"
#include "documents/yieldreportpdf.h"
#include "store/chainverifier.h"
#include "yield/yieldreporttext.h"

#include <QFileInfo>
#include <QMutex>
#include <QSet>

namespace {

// A PDF is drawn with fonts; one at a time, whatever thread asks.
QMutex documentDrawing;

QString serialText(int serialNumber)
{
    return QStringLiteral("SN ") + Identification::serialText(quint16(serialNumber));
}

RecordsProblem refused(const QString &text)
{
    return {RecordsProblem::Kind::Refused, text};
}

// The filter's facts of one station, its window and serial number left open.
RecordsFilter atStation(RecordsFilter filter, const QString &station)
{
    filter.station = station;
    filter.serialNumber.reset();
    filter.since = {};
    filter.until = {};
    return filter;
}

} // namespace

QJsonObject RecordFile::toJson() const
{
    QJsonObject object = record.toJson();
    object.insert(QStringLiteral("repair"), repair ? QJsonValue(repair->toJson()) : QJsonValue());
    return object;
}

QString RecordFile::repairText() const
{
    if (!repair)
        return {};
    return (repair->checkoutId == record.id ? QStringLiteral("Repair answering this checkout: ")
                                            : QStringLiteral("Repair before this checkout: ")) +
           repair->text() + QLatin1Char('\n');
}

LineRecords::LineRecords(RecordsStore &store) : m_store(store) {}

RecordsAnswer<ReportQuery> LineRecords::reportQuery(const RecordsFilter &filter,
                                                    const ReportChoice &choice,
                                                    const QDateTime &now)
{
    if (filter.serialNumber)
        return refused(QStringLiteral("a yield report counts readers, not one: a reader's "
                                      "checkouts are its history (records history %1)")
                           .arg(*filter.serialNumber));
    ReportQuery query;
    filter.narrow(query);
    query.by = choice.by;
    query.paretoOfCauses = choice.paretoOfCauses;
    const ReportQuery lastDays = ReportQuery::lastDays(ReportDays, now);
    query.to = filter.until.isValid() ? filter.until : lastDays.to;
    query.from = filter.since.isValid() ? filter.since : query.to.addDays(-ReportDays);
    // A start after the default end (a day with no checkouts yet) asks for that day: an empty
    // report, not an error about an end nobody gave.
    if (!filter.until.isValid() && query.from >= query.to)
        query.to = query.from.addDays(1);
    return query;
}

QString LineRecords::certificateFileName(const ReaderRecord &record)
{
    return QStringLiteral("certificate-%1-%2.pdf")
        .arg(record.serialNumber ? record.serialText() : QStringLiteral("unidentified"),
             record.started.toUTC().toString(QStringLiteral("yyyy-MM-dd")));
}

RecordsProblem LineRecords::failed() const
{
    return {RecordsProblem::Kind::Failed, m_store.errorText()};
}

RecordsAnswer<ReaderRecord> LineRecords::record(const QString &id)
{
    std::optional<ReaderRecord> found;
    if (!m_store.find(id, found))
        return failed();
    if (!found && id.size() >= ShortestIdPrefix) {
        // As git takes a commit: the beginning of an id, as long as it names one record.
        const std::optional<QStringList> ids = m_store.idsStartingWith(id, ListedMatches + 1);
        if (!ids)
            return failed();
        if (ids->size() > 1)
            return refused(
                QStringLiteral("the id %1 is the beginning of more than one record: %2%3")
                    .arg(id, ids->mid(0, ListedMatches).join(QStringLiteral(", ")),
                         ids->size() > ListedMatches ? QStringLiteral(", ...") : QString()));
        if (ids->size() == 1 && !m_store.find(ids->constFirst(), found))
            return failed();
    }
    if (!found)
        return RecordsProblem{RecordsProblem::Kind::NotFound,
                              QStringLiteral("no checkout record %1 in %2")
                                  .arg(id, m_store.location().description())};
    return *found;
}

std::optional<RepairRecord> LineRecords::repairOf(const ReaderRecord &record,
                                                  const QList<ReaderEvent> &history)
{
    // A failed checkout is shown with the repair that answered it; one that no repair answered
    // yet (or a pass) with the repair it retested, whether or not that repair mended the reader.
    for (auto event = history.crbegin(); event != history.crend(); ++event) {
        if (event->repair && event->repair->checkoutId == record.id)
            return event->repair;
    }
    return ReaderLife(m_store).repairBehind(record);
}

RecordsAnswer<RecordFile> LineRecords::find(const QString &id)
{
    const RecordsAnswer<ReaderRecord> found = record(id);
    if (!found)
        return found.problem();
    RecordFile file{*found, std::nullopt, {}, {}};
    if (file.record.serialNumber) {
        const std::optional<QList<ReaderEvent>> events =
            ReaderLife(m_store).history(*file.record.serialNumber);
        if (!events)
            return failed();
        file.history = *events;
    }
    file.repair = repairOf(file.record, file.history);
    const std::optional<QString> hash = ChainVerifier(m_store.database()).keptHash(file.record.id);
    if (!hash)
        return failed();
    file.keptHash = *hash;
    return file;
}

RecordsAnswer<QList<RecordSummary>> LineRecords::list(const RecordsFilter &filter,
                                                      const ListChoice &choice)
{
    RecordsQuery query;
    filter.narrow(query);
    query.outcome = choice.outcome;
    query.limit = choice.limit;
    const std::optional<QList<RecordSummary>> summaries = m_store.list(query);
    if (!summaries)
        return failed();
    return *summaries;
}

RecordsAnswer<QString> LineRecords::listCsv(const RecordsFilter &filter, const ListChoice &choice)
{
    const RecordsAnswer<QList<RecordSummary>> summaries = list(filter, choice);
    if (!summaries)
        return summaries.problem();
    return RecordSummary::listCsv(*summaries);
}

RecordsAnswer<QList<ReaderEvent>> LineRecords::history(int serialNumber,
                                                       const RecordsFilter &filter)
{
    const std::optional<QList<ReaderEvent>> events = ReaderLife(m_store).history(serialNumber);
    if (!events)
        return failed();
    const bool narrowed = !filter.station.isEmpty() || !filter.model.isEmpty() ||
                          !filter.lot.isEmpty() || !filter.operatorName.isEmpty() ||
                          !filter.plan.isEmpty() || filter.narrowsTime();
    QList<ReaderEvent> shown;
    QSet<QString> checkouts;
    for (const ReaderEvent &event : *events) {
        if (event.checkout && filter.admits(*event.checkout)) {
            checkouts.insert(event.checkout->id);
            shown.append(event);
        } else if (event.repair && (!narrowed || checkouts.contains(event.repair->checkoutId))) {
            shown.append(event);
        }
    }
    if (shown.isEmpty())
        return RecordsProblem{RecordsProblem::Kind::NotFound,
                              QStringLiteral("no checkouts or repairs of %1 in %2")
                                  .arg(serialText(serialNumber), m_store.location().description())};
    return shown;
}

RecordsAnswer<ReportFigures> LineRecords::report(const ReportQuery &query)
{
    YieldReport engine(m_store);
    const std::optional<ReportFigures> figures = engine.run(query);
    if (!figures)
        return RecordsProblem{RecordsProblem::Kind::Failed, engine.errorText()};
    return *figures;
}

RecordsAnswer<QString> LineRecords::reportCsv(const ReportQuery &query)
{
    const RecordsAnswer<ReportFigures> figures = report(query);
    if (!figures)
        return figures.problem();
    return YieldReportText::csv(*figures);
}

RecordsAnswer<QString> LineRecords::writeReportPdf(const ReportQuery &query, const QString &path)
{
    YieldReport engine(m_store);
    const std::optional<YieldReportPdf::Contents> contents = YieldReportPdf::collect(engine, query);
    if (!contents)
        return RecordsProblem{RecordsProblem::Kind::Failed, engine.errorText()};
    QString error;
    const QMutexLocker drawing(&documentDrawing);
    if (!YieldReportPdf::write(*contents, path, &error))
        return RecordsProblem{RecordsProblem::Kind::NotWritten, error};
    return QFileInfo(path).absoluteFilePath();
}

RecordsAnswer<CertificateDocument> LineRecords::certificate(const QString &id)
{
    const RecordsAnswer<RecordFile> found = find(id);
    if (!found)
        return found.problem();
    CertificateDocument document;
    document.fileName = certificateFileName(found->record);
    const QMutexLocker drawing(&documentDrawing);
    document.pdf = RecordCertificate::pdf(found->record, found->repair, found->keptHash);
    return document;
}

RecordsAnswer<QString> LineRecords::writeCertificate(const QString &id, const QString &path)
{
    const RecordsAnswer<RecordFile> found = find(id);
    if (!found)
        return found.problem();
    const QString file = path.isEmpty() ? certificateFileName(found->record) : path;
    QString error;
    const QMutexLocker drawing(&documentDrawing);
    if (!RecordCertificate::write(found->record, file, &error, found->repair, found->keptHash))
        return RecordsProblem{RecordsProblem::Kind::NotWritten, error};
    return QFileInfo(file).absoluteFilePath();
}

RecordsAnswer<LineRecords::RepairKept> LineRecords::repair(int serialNumber,
                                                           const RepairEntry &entry)
{
    ReaderLife life(m_store);
    QString checkoutId = entry.checkoutId;
    if (checkoutId.isEmpty()) {
        const std::optional<QString> latest = life.latestFailedCheckout(serialNumber);
        if (!latest)
            return failed();
        if (latest->isEmpty())
            return refused(QStringLiteral("%1 has no failed checkout for a repair to answer")
                               .arg(serialText(serialNumber)));
        checkoutId = *latest;
    }
    const RecordsAnswer<ReaderRecord> checkout = record(checkoutId);
    if (!checkout)
        return checkout.problem();
    if (checkout->serialNumber != serialNumber)
        return refused(QStringLiteral("checkout %1 is of %2, not of %3")
                           .arg(checkout->id,
                                checkout->serialNumber
                                    ? serialText(*checkout->serialNumber)
                                    : QStringLiteral("a reader never identified"),
                                serialText(serialNumber)));
    if (checkout->outcome == ReaderOutcome::Pass)
        return refused(
            QStringLiteral("checkout %1 passed: a repair answers a checkout that did not")
                .arg(checkout->id));
    RepairRecord repair;
    repair.id = ReaderRecord::newId();
    repair.serialNumber = serialNumber;
    repair.checkoutId = checkout->id;
    repair.repaired = QDateTime::currentDateTimeUtc();
    repair.technician = entry.technician;
    repair.symptom = entry.symptom;
    repair.cause = entry.cause;
    repair.action = entry.action;
    repair.parts = entry.parts;
    repair.station = entry.station;
    if (!life.store(repair))
        return failed();
    return RepairKept{repair, *checkout};
}

RecordsAnswer<QList<StationActivity>> LineRecords::stations(const RecordsFilter &filter,
                                                            const QDateTime &since,
                                                            const QDateTime &dayStart,
                                                            const QDateTime &dayEnd)
{
    QString error;
    const std::optional<QList<StationActivity>> line =
        LineActivity::read(m_store, since, dayStart, dayEnd, &error);
    if (!line)
        return RecordsProblem{RecordsProblem::Kind::Failed, error};
    if (filter.station.isEmpty() && filter.model.isEmpty() && filter.lot.isEmpty() &&
        filter.operatorName.isEmpty() && filter.plan.isEmpty())
        return *line;
    // Narrowed: each station's last checkout and figures of the day among the checkouts the
    // filter lets through; a station with none of them is not shown.
    QList<StationActivity> shown;
    for (const StationActivity &each : *line) {
        if (!filter.station.isEmpty() && each.station != filter.station)
            continue;
        RecordsFilter narrowed = atStation(filter, each.station);
        narrowed.since = since;
        const RecordsAnswer<QList<RecordSummary>> last = list(narrowed, {std::nullopt, 1});
        if (!last)
            return last.problem();
        if (last->isEmpty())
            continue;
        StationActivity activity;
        activity.station = each.station;
        activity.lastCheckout = last->constFirst().started;
        ReportQuery day;
        atStation(filter, each.station).narrow(day);
        day.from = dayStart;
        day.to = dayEnd;
        const RecordsAnswer<ReportFigures> figures = report(day);
        if (!figures)
            return figures.problem();
        activity.checkouts = figures->checkouts;
        activity.readers = figures->readers;
        activity.firstPassYield = figures->firstPassYield();
        activity.finalYield = figures->finalYield();
        shown.append(activity);
    }
    return shown;
}

RecordsAnswer<StationYield>
LineRecords::stationDay(const QString &station, const QDateTime &dayStart, const QDateTime &dayEnd)
{
    const std::optional<StationYield> yield =
        YieldReport::stationToday(m_store, station, dayStart, dayEnd);
    if (!yield)
        return failed();
    return *yield;
}
