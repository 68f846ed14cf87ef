#include "dashboard/dashboardapi.h"

#include "dashboard/recordsreaders.h"
#include "documents/recordcertificate.h"
#include "store/chainverifier.h"
#include "store/readerlife.h"
#include "store/recordsstore.h"
#include "yield/lineactivity.h"
#include "yield/yieldreport.h"
#include "yield/yieldreporttext.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QTimeZone>
#include <QUrl>

#include <utility>

namespace {

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

// A PDF is drawn with fonts; one at a time, whatever thread asks.
QMutex certificateDrawing;

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
            const auto [problem, texts] = parameters(
                {QStringLiteral("since"), QStringLiteral("until"), QStringLiteral("station"),
                 QStringLiteral("model"), QStringLiteral("lot"), QStringLiteral("operator"),
                 QStringLiteral("plan"), QStringLiteral("by")});
            return problem.isEmpty() ? report(texts, csv, respond)
                                     : respond(Reply::error(BadRequest, problem));
        }
        if (parts.size() == 2 && resource == QLatin1String("records")) {
            const auto [problem, texts] = parameters(
                {QStringLiteral("serial"), QStringLiteral("outcome"), QStringLiteral("since"),
                 QStringLiteral("station"), QStringLiteral("lot"), QStringLiteral("operator"),
                 QStringLiteral("plan"), QStringLiteral("limit")});
            return problem.isEmpty() ? list(texts, csv, respond)
                                     : respond(Reply::error(BadRequest, problem));
        }
        if (parts.size() == 2 && what == QLatin1String("stations")) {
            const auto [problem, texts] = parameters({});
            return problem.isEmpty() ? stations(respond)
                                     : respond(Reply::error(BadRequest, problem));
        }
        if (what == QLatin1String("readers") && parts.size() == 4 &&
            parts.at(3) == QLatin1String("history")) {
            const auto [problem, texts] = parameters({});
            return problem.isEmpty() ? history(parts.at(2), respond)
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
        RecordsFilters::takeReport(texts, QDateTime::currentDateTimeUtc(), query, QString());
    if (!problem.isEmpty())
        return respond(Reply::error(BadRequest, problem));
    const QString key = canonicalKey(query) + (csv ? QStringLiteral("\ncsv") : QString());
    m_reports.answer(key, respond, [this, query, csv](const Respond &done) {
        read(
            [query, csv](RecordsStore &store, QString &error) -> std::optional<Reply> {
                YieldReport report(store);
                const std::optional<ReportFigures> figures = report.run(query);
                if (!figures) {
                    error = report.errorText();
                    return std::nullopt;
                }
                if (csv)
                    return Reply::csv(YieldReportText::csv(*figures),
                                      QStringLiteral("yield-report.csv"));
                return Reply::json(figures->toJson());
            },
            done);
    });
}

void DashboardApi::list(const RecordsFilters::Texts &texts, bool csv, const Respond &respond)
{
    RecordsQuery query;
    QString problem = RecordsFilters::takeList(texts, query);
    if (problem.isEmpty() && query.limit > LargestListLimit)
        problem = QStringLiteral("the limit must be a number of records from 1 to %1, not '%2'")
                      .arg(LargestListLimit)
                      .arg(*query.limit);
    if (!problem.isEmpty())
        return respond(Reply::error(BadRequest, problem));
    if (!query.limit)
        query.limit = DefaultListLimit;
    read(
        [query, csv](RecordsStore &store, QString &) -> std::optional<Reply> {
            const std::optional<QList<RecordSummary>> summaries = store.list(query);
            if (!summaries)
                return std::nullopt;
            if (csv)
                return Reply::csv(RecordSummary::listCsv(*summaries),
                                  QStringLiteral("checkouts.csv"));
            return Reply::json(RecordSummary::listJson(*summaries));
        },
        respond);
}

void DashboardApi::history(const QString &serial, const Respond &respond)
{
    QString problem;
    const std::optional<int> number = ReaderLife::serialFrom(serial, &problem);
    if (!number)
        return respond(Reply::error(BadRequest, problem));
    read(
        [serialNumber = *number](RecordsStore &store, QString &) -> std::optional<Reply> {
            const std::optional<QList<ReaderEvent>> events =
                ReaderLife(store).history(serialNumber);
            if (!events)
                return std::nullopt;
            return Reply::json(ReaderLife::historyJson(serialNumber, *events));
        },
        respond);
}

void DashboardApi::show(const QString &id, bool certificate, const Respond &respond)
{
    read(
        [id, certificate](RecordsStore &store, QString &) -> std::optional<Reply> {
            std::optional<ReaderRecord> record;
            if (!store.find(id, record))
                return std::nullopt;
            if (!record)
                return Reply::error(NotFound, QStringLiteral("no checkout record %1").arg(id));
            if (!certificate)
                return Reply::json(record->toJson());
            Reply reply;
            reply.contentType = QByteArrayLiteral("application/pdf");
            {
                const QMutexLocker drawing(&certificateDrawing);
                reply.body = RecordCertificate::pdf(
                    *record, ReaderLife(store).repairBehind(*record),
                    ChainVerifier(store.database()).keptHash(record->id).value_or(QString()));
            }
            // The serial number is digits only: safe in a header.
            const QString name =
                record->serialNumber
                    ? QStringLiteral("certificate-SN%1.pdf").arg(record->serialText())
                    : QStringLiteral("certificate.pdf");
            reply.headers.append(
                {QByteArrayLiteral("Content-Disposition"),
                 QByteArrayLiteral("inline; filename=\"") + name.toLatin1() + '"'});
            return reply;
        },
        respond);
}

void DashboardApi::stations(const Respond &respond)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime dayStart(now.date(), QTime(0, 0), QTimeZone::utc());
    const QDateTime since = now.addDays(-StationDays);
    // Shared like a report: the list is the same for everyone within the sharing time.
    const QString key = QStringLiteral("stations\n") + isoUtc(dayStart);
    m_reports.answer(key, respond, [this, now, dayStart, since](const Respond &done) {
        read(
            [now, dayStart, since, target = m_settings.targetYield](
                RecordsStore &store, QString &error) -> std::optional<Reply> {
                const std::optional<QList<StationActivity>> activities =
                    LineActivity::read(store, since, dayStart, dayStart.addDays(1), &error);
                if (!activities)
                    return std::nullopt;
                QJsonArray list;
                for (const StationActivity &activity : *activities)
                    list.append(activity.toJson());
                return Reply::json({{QStringLiteral("now"), isoUtc(now)},
                                    {QStringLiteral("day"), dayStart.date().toString(Qt::ISODate)},
                                    {QStringLiteral("stations"), list},
                                    {QStringLiteral("target_yield"), target}});
            },
            done);
    });
}

void DashboardApi::read(std::function<std::optional<Reply>(RecordsStore &, QString &)> work,
                        const Respond &respond)
{
    m_readers->post(std::move(work), [this, respond](const Reply &reply) {
        QMetaObject::invokeMethod(
            this, [respond, reply] { respond(reply); }, Qt::QueuedConnection);
    });
}
