#include "dashboard/dashboardapi.h"

#include "checkout/measurementsentences.h"
#include "dashboard/recordsreaders.h"
#include "records/linerecords.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimeZone>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace {

// The object at index of the array gets what went wrong in words ("said"), if anything did.
void addSaid(QJsonArray &array, qsizetype index, const QString &said)
{
    if (said.isEmpty())
        return;
    QJsonObject object = array.at(index).toObject();
    object.insert(QLatin1String("said"), said);
    array.replace(index, object);
}

// A record as it is kept, and for each step that did not pass what went wrong in words: the
// sentence the station and the certificate use.
QJsonObject recordJson(const ReaderRecord &record, QJsonObject json)
{
    QJsonArray steps = json.value(QLatin1String("steps")).toArray();
    for (qsizetype i = 0; i < steps.size() && i < record.steps.size(); ++i) {
        const StepRecord &step = record.steps.at(i);
        if (step.outcome != StepOutcome::Pass)
            addSaid(steps, i, MeasurementSentences::stepText(step));
    }
    json.insert(QLatin1String("steps"), steps);
    return json;
}

constexpr int BadRequest = 400;
constexpr int NotFound = 404;

// A file of the page: where it is kept and what it is.
struct PageFile
{
    const char *path;
    const char *resource;
    const char *type;
};

constexpr PageFile PageFiles[] = {
    {"/", ":/dashboard/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/dashboard/index.html", "text/html; charset=utf-8"},
    {"/dashboard.js", ":/dashboard/dashboard.js", "text/javascript; charset=utf-8"},
    {"/dashboard.css", ":/dashboard/dashboard.css", "text/css; charset=utf-8"},
    {"/favicon.svg", ":/dashboard/vorn-station.svg", "image/svg+xml"},
};

const QByteArray ChartScriptPath = QByteArrayLiteral("/chart.min.js");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Reply fileReply(const QByteArray &body, const QByteArray &type)
{
    Reply reply;
    reply.contentType = type;
    reply.body = body;
    reply.headers.append({QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache")});
    return reply;
}

// A value of an address's query as a browser's form sends it: "+" for a space, the rest
// percent-encoded.
QString queryValue(QByteArray encoded)
{
    encoded.replace('+', ' ');
    return QUrl::fromPercentEncoding(encoded);
}

// The query's parameters by name: only the allowed names, each once; an empty value counts as
// not given, as a form's empty field. What is wrong, or nothing.
QString takeParameters(const QByteArray &query, const QStringList &allowed,
                       RecordsFilters::Texts &texts)
{
    QStringList seen;
    for (const QByteArray &pair : query.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype equals = pair.indexOf('=');
        const QString name = queryValue(equals < 0 ? pair : pair.left(equals));
        const QString value = equals < 0 ? QString() : queryValue(pair.mid(equals + 1));
        if (!allowed.contains(name))
            return QStringLiteral("unknown parameter '%1': the parameters are %2")
                .arg(name, allowed.join(QLatin1String(", ")));
        if (seen.contains(name))
            return QStringLiteral("the parameter '%1' is given twice").arg(name);
        seen.append(name);
        if (!value.isEmpty())
            texts.insert(name, value);
    }
    return {};
}

// A path's segments after the leading slash, each decoded on its own, so that an encoded
// slash stays inside its segment.
QStringList segments(const QByteArray &path)
{
    QStringList decoded;
    const QList<QByteArray> parts = path.mid(1).split('/');
    for (const QByteArray &part : parts)
        decoded.append(QUrl::fromPercentEncoding(part));
    return decoded;
}

QString canonicalKey(const ReportQuery &query)
{
    return QStringList{QStringLiteral("report"),
                       isoUtc(query.from),
                       isoUtc(query.to),
                       query.station,
                       query.model,
                       query.lot,
                       query.operatorName,
                       query.plan,
                       reportGroupingName(query.by)}
        .join(QChar(0));
}

// The filters every panel of the page obeys, by the names the page's address gives them.
const QStringList FilterNames{QStringLiteral("station"), QStringLiteral("model"),
                              QStringLiteral("lot"),     QStringLiteral("operator"),
                              QStringLiteral("plan"),    QStringLiteral("since"),
                              QStringLiteral("until")};

// The answer for a problem of the records: a request refused or asking for what is not there is
// answered as such; a failure of the records is left to the readers (a 503 with its reason).
std::optional<Reply> problemReply(const RecordsProblem &problem, QString &error)
{
    switch (problem.kind) {
    case RecordsProblem::Kind::NotFound:
        return Reply::error(NotFound, problem.text);
    case RecordsProblem::Kind::Refused:
        return Reply::error(BadRequest, problem.text);
    case RecordsProblem::Kind::Failed:
    case RecordsProblem::Kind::NotWritten:
        break;
    }
    error = problem.text;
    return std::nullopt;
}

// A reader's life as vornctl prints it, and for each checkout that failed what went wrong first
// in words ("said").
QJsonObject historyJson(int serialNumber, const QList<ReaderEvent> &events)
{
    QJsonObject json = ReaderLife::historyJson(serialNumber, events);
    QJsonArray list = json.value(QLatin1String("events")).toArray();
    for (qsizetype i = 0; i < list.size() && i < events.size(); ++i) {
        if (!events.at(i).checkout)
            continue;
        const QList<StepRecord> &steps = events.at(i).checkout->steps;
        const auto failed = std::find_if(steps.cbegin(), steps.cend(), [](const StepRecord &step) {
            return step.outcome == StepOutcome::Fail || step.outcome == StepOutcome::Error;
        });
        if (failed != steps.cend())
            addSaid(list, i, MeasurementSentences::stepText(*failed));
    }
    json.insert(QLatin1String("events"), list);
    return json;
}

} // namespace

DashboardApi::DashboardApi(Settings settings, QObject *parent)
    : QObject(parent), m_settings(std::move(settings)),
      m_chartScript(readFile(m_settings.chartScript)),
      m_readers(std::make_unique<RecordsReaders>(m_settings.location, m_settings.readers)),
      m_reports(m_settings.sharing)
{
}

DashboardApi::~DashboardApi() = default;

void DashboardApi::answer(const QByteArray &path, const QByteArray &query, const Respond &respond)
{
    for (const PageFile &file : PageFiles) {
        if (path == file.path)
            return respond(fileReply(readFile(QLatin1String(file.resource)), file.type));
    }
    if (path == ChartScriptPath) {
        if (m_chartScript.isEmpty())
            return respond(
                Reply::error(NotFound, QStringLiteral("Chart.js is not installed "
                                                      "(Debian package libjs-chart.js)")));
        return respond(
            fileReply(m_chartScript, QByteArrayLiteral("text/javascript; charset=utf-8")));
    }
    const QStringList parts = segments(path);
    const auto parameters = [&](const QStringList &allowed) {
        RecordsFilters::Texts texts;
        const QString problem = takeParameters(query, allowed, texts);
        return std::make_pair(problem, texts);
    };
    if (parts.size() >= 2 && parts.at(0) == QLatin1String("api")) {
        const QString &what = parts.at(1);
        // The same answers as CSV downloads, as vornctl's --csv writes them.
        const bool csv = what.endsWith(QLatin1String(".csv"));
        const QString resource = csv ? what.chopped(4) : what;
        if (parts.size() == 2 && resource == QLatin1String("report")) {
            const auto [problem, texts] =
                parameters(FilterNames + QStringList{QStringLiteral("by")});
            return problem.isEmpty() ? report(texts, csv, respond)
                                     : respond(Reply::error(BadRequest, problem));
        }
        if (parts.size() == 2 && resource == QLatin1String("records")) {
            const auto [problem, texts] = parameters(
                FilterNames + QStringList{QStringLiteral("serial"), QStringLiteral("outcome"),
                                          QStringLiteral("limit")});
            return problem.isEmpty() ? list(texts, csv, respond)
                                     : respond(Reply::error(BadRequest, problem));
        }
        if (parts.size() == 2 && what == QLatin1String("stations")) {
            const auto [problem, texts] = parameters(FilterNames);
            return problem.isEmpty() ? stations(texts, respond)
                                     : respond(Reply::error(BadRequest, problem));
        }
        if (parts.size() == 2 && what == QLatin1String("source")) {
            const auto [problem, texts] = parameters({});
            return problem.isEmpty() ? source(respond) : respond(Reply::error(BadRequest, problem));
        }
        if (what == QLatin1String("readers") && parts.size() == 4 &&
            parts.at(3) == QLatin1String("history")) {
            const auto [problem, texts] = parameters(FilterNames);
            return problem.isEmpty() ? history(parts.at(2), texts, respond)
                                     : respond(Reply::error(BadRequest, problem));
        }
        const bool certificate =
            parts.size() == 4 && parts.at(3) == QLatin1String("certificate.pdf");
        if (what == QLatin1String("records") && (parts.size() == 3 || certificate) &&
            !parts.at(2).isEmpty()) {
            const auto [problem, texts] = parameters({});
            return problem.isEmpty() ? show(parts.at(2), certificate, respond)
                                     : respond(Reply::error(BadRequest, problem));
        }
    }
    respond(Reply::error(NotFound,
                         QStringLiteral("nothing here: %1").arg(QUrl::fromPercentEncoding(path))));
}

void DashboardApi::report(const RecordsFilters::Texts &texts, bool csv, const Respond &respond)
{
    ReportQuery query;
    const QString problem =
        RecordsFilters::takeReport(texts, QDateTime::currentDateTimeUtc(), QString(), query);
    if (!problem.isEmpty())
        return respond(Reply::error(BadRequest, problem));
    const QString key = canonicalKey(query) + (csv ? QStringLiteral("\ncsv") : QString());
    m_reports.answer(key, respond, [this, query, csv](const Respond &done) {
        read(
            [query, csv](RecordsStore &store, QString &error) -> std::optional<Reply> {
                LineRecords records(store);
                if (csv) {
                    const RecordsAnswer<QString> text = records.reportCsv(query);
                    return text ? Reply::csv(*text, QStringLiteral("yield-report.csv"))
                                : problemReply(text.problem(), error);
                }
                const RecordsAnswer<ReportFigures> figures = records.report(query);
                return figures ? Reply::json(figures->toJson())
                               : problemReply(figures.problem(), error);
            },
            done);
    });
}

void DashboardApi::list(const RecordsFilters::Texts &texts, bool csv, const Respond &respond)
{
    RecordsFilter filter;
    LineRecords::ListChoice choice;
    QString problem = RecordsFilters::takeList(texts, QString(), filter, choice);
    if (problem.isEmpty() && choice.limit > LargestListLimit)
        problem = QStringLiteral("limit must be a number of records from 1 to %1, not '%2'")
                      .arg(LargestListLimit)
                      .arg(*choice.limit);
    if (!problem.isEmpty())
        return respond(Reply::error(BadRequest, problem));
    if (!choice.limit)
        choice.limit = DefaultListLimit;
    read(
        [filter, choice, csv](RecordsStore &store, QString &error) -> std::optional<Reply> {
            LineRecords records(store);
            if (csv) {
                const RecordsAnswer<QString> text = records.listCsv(filter, choice);
                return text ? Reply::csv(*text, QStringLiteral("checkouts.csv"))
                            : problemReply(text.problem(), error);
            }
            const RecordsAnswer<QList<RecordSummary>> summaries = records.list(filter, choice);
            return summaries ? Reply::json(RecordSummary::listJson(*summaries))
                             : problemReply(summaries.problem(), error);
        },
        respond);
}

void DashboardApi::history(const QString &serial, const RecordsFilters::Texts &texts,
                           const Respond &respond)
{
    QString problem;
    const std::optional<int> number = ReaderLife::serialFrom(serial, &problem);
    const std::optional<RecordsFilter> filter =
        number ? RecordsFilter::read(texts, QString(), &problem) : std::nullopt;
    if (!filter)
        return respond(Reply::error(BadRequest, problem));
    read(
        [serialNumber = *number, filter = *filter](RecordsStore &store,
                                                   QString &error) -> std::optional<Reply> {
            const RecordsAnswer<QList<ReaderEvent>> events =
                LineRecords(store).history(serialNumber, filter);
            // A reader without checkouts or repairs has an empty life, not a missing one.
            if (!events && events.problem().kind != RecordsProblem::Kind::NotFound)
                return problemReply(events.problem(), error);
            return Reply::json(historyJson(serialNumber, events ? *events : QList<ReaderEvent>()));
        },
        respond);
}

void DashboardApi::show(const QString &id, bool certificate, const Respond &respond)
{
    read(
        [id, certificate](RecordsStore &store, QString &error) -> std::optional<Reply> {
            LineRecords records(store);
            if (!certificate) {
                const RecordsAnswer<RecordFile> found = records.find(id);
                return found ? Reply::json(recordJson(found->record, found->toJson()))
                             : problemReply(found.problem(), error);
            }
            const RecordsAnswer<CertificateDocument> document = records.certificate(id);
            if (!document)
                return problemReply(document.problem(), error);
            Reply reply;
            reply.contentType = QByteArrayLiteral("application/pdf");
            reply.body = document->pdf;
            // The serial number is digits only, the date too: safe in a header.
            reply.headers.append(
                {QByteArrayLiteral("Content-Disposition"),
                 QByteArrayLiteral("inline; filename=\"") + document->fileName.toLatin1() + '"'});
            return reply;
        },
        respond);
}

void DashboardApi::stations(const RecordsFilters::Texts &texts, const Respond &respond)
{
    QString problem;
    const std::optional<RecordsFilter> filter = RecordsFilter::read(texts, QString(), &problem);
    if (!filter)
        return respond(Reply::error(BadRequest, problem));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime dayStart(now.date(), QTime(0, 0), QTimeZone::utc());
    const QDateTime since = now.addDays(-StationDays);
    // Shared like a report: the list is the same for everyone within the sharing time.
    QStringList key{QStringLiteral("stations"), isoUtc(dayStart)};
    for (const QString &name : FilterNames)
        key.append(texts.value(name));
    m_reports.answer(
        key.join(QChar(0)), respond,
        [this, filter = *filter, now, dayStart, since](const Respond &done) {
            read(
                [filter, now, dayStart, since, target = m_settings.targetYield](
                    RecordsStore &store, QString &error) -> std::optional<Reply> {
                    const RecordsAnswer<QList<StationActivity>> activities =
                        LineRecords(store).stations(filter, since, dayStart, dayStart.addDays(1));
                    if (!activities)
                        return problemReply(activities.problem(), error);
                    QJsonArray list;
                    for (const StationActivity &activity : *activities)
                        list.append(activity.toJson());
                    return Reply::json(
                        {{QStringLiteral("now"), isoUtc(now)},
                         {QStringLiteral("day"), dayStart.date().toString(Qt::ISODate)},
                         {QStringLiteral("stations"), list},
                         {QStringLiteral("target_yield"), target}});
                },
                done);
        });
}

void DashboardApi::source(const Respond &respond)
{
    read(
        [](RecordsStore &store, QString &error) -> std::optional<Reply> {
            RecordsDatabase &database = store.database();
            QJsonObject json{{QStringLiteral("standby"), database.isStandby()}};
            if (!database.isStandby())
                return Reply::json(json);
            const std::optional<RecordsDatabase::Replay> replay = database.replay();
            if (!replay) {
                error = database.errorText();
                return std::nullopt;
            }
            json.insert(QStringLiteral("replayed"),
                        replay->replayed.isValid() ? isoUtc(replay->replayed) : QString());
            json.insert(QStringLiteral("catchingUp"), replay->catchingUp);
            return Reply::json(json);
        },
        respond);
}

void DashboardApi::read(std::function<std::optional<Reply>(RecordsStore &, QString &)> work,
                        const Respond &respond)
{
    m_readers->post(std::move(work), [this, respond](const Reply &reply) {
        QMetaObject::invokeMethod(
            this, [respond, reply] { respond(reply); }, Qt::QueuedConnection);
    });
}
