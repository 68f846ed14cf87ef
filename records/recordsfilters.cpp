#include "records/recordsfilters.h"

#include "checkout/decimaltext.h"
#include "store/recordsstore.h"
#include "yield/yieldreport.h"

#include <QTimeZone>

namespace RecordsFilters {

namespace {

constexpr uint LargestLimit = 1000000000;

} // namespace

QDateTime sinceTime(const QString &text)
{
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid() && text.size() == 10)
        return day.startOfDay();
    return QDateTime::fromString(text, Qt::ISODate);
}

QDateTime reportTime(const QString &text, bool end)
{
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid() && text.size() == 10)
        return QDateTime(end ? day.addDays(1) : day, QTime(0, 0), QTimeZone::utc());
    const QDateTime moment = QDateTime::fromString(text, Qt::ISODate);
    if (!moment.isValid() || moment.timeSpec() != Qt::LocalTime)
        return moment.toUTC();
    return QDateTime(moment.date(), moment.time(), QTimeZone::utc());
}

QString takeList(const Texts &texts, RecordsQuery &query)
{
    if (texts.contains(QStringLiteral("serial"))) {
        const QString text = texts.value(QStringLiteral("serial"));
        const std::optional<uint> serial = DecimalText::inRange(text, 0, 0xFFFF);
        if (!serial)
            return QStringLiteral("the serial number must be a number from 0 to 65535, not '%1'")
                .arg(text);
        query.serialNumber = int(*serial);
    }
    if (texts.contains(QStringLiteral("outcome"))) {
        const QString text = texts.value(QStringLiteral("outcome"));
        query.outcome = readerOutcomeFromName(text);
        if (!query.outcome)
            return QStringLiteral("the outcome must be pass, fail, error, aborted or refused, not "
                                  "'%1'")
                .arg(text);
    }
    if (texts.contains(QStringLiteral("since"))) {
        const QString text = texts.value(QStringLiteral("since"));
        query.since = sinceTime(text);
        if (!query.since.isValid())
            return QStringLiteral("the date must be like 2026-12-07 or 2026-12-07T14:30, not '%1'")
                .arg(text);
    }
    query.station = texts.value(QStringLiteral("station"));
    query.lot = texts.value(QStringLiteral("lot"));
    query.operatorName = texts.value(QStringLiteral("operator"));
    query.plan = texts.value(QStringLiteral("plan"));
    if (texts.contains(QStringLiteral("limit"))) {
        const QString text = texts.value(QStringLiteral("limit"));
        const std::optional<uint> limit = DecimalText::inRange(text, 1, LargestLimit);
        if (!limit)
            return QStringLiteral("the limit must be a number of records from 1, not '%1'")
                .arg(text);
        query.limit = int(*limit);
    }
    return {};
}

QString takeReport(const Texts &texts, const QDateTime &now, ReportQuery &query,
                   const QString &optionPrefix)
{
    const QString dateWords = QStringLiteral(
        "%1 must be a date or a date and time in UTC, like 2026-12-07 or 2026-12-07T14:30, "
        "not '%2'");
    const QString since = optionPrefix + QStringLiteral("since");
    const QString until = optionPrefix + QStringLiteral("until");
    QDateTime from;
    QDateTime to;
    if (texts.contains(QStringLiteral("since"))) {
        from = reportTime(texts.value(QStringLiteral("since")), false);
        if (!from.isValid())
            return dateWords.arg(since, texts.value(QStringLiteral("since")));
    }
    if (texts.contains(QStringLiteral("until"))) {
        to = reportTime(texts.value(QStringLiteral("until")), true);
        if (!to.isValid())
            return dateWords.arg(until, texts.value(QStringLiteral("until")));
    }
    const ReportQuery lastDays = ReportQuery::lastDays(ReportDays, now);
    query.to = to.isValid() ? to : lastDays.to;
    query.from = from.isValid() ? from : query.to.addDays(-ReportDays);
    // A start after the default end (a day with no checkouts yet) asks for that day: an empty
    // report, not an error about an end nobody gave.
    if (!to.isValid() && query.from >= query.to)
        query.to = query.from.addDays(1);
    if (query.from >= query.to)
        return QStringLiteral("the window is empty: %1 %2 is not before %3 %4")
            .arg(since, query.from.toString(Qt::ISODate), until, query.to.toString(Qt::ISODate));
    query.station = texts.value(QStringLiteral("station"));
    query.lot = texts.value(QStringLiteral("lot"));
    query.operatorName = texts.value(QStringLiteral("operator"));
    query.plan = texts.value(QStringLiteral("plan"));
    if (texts.contains(QStringLiteral("model"))) {
        const QString text = texts.value(QStringLiteral("model"));
        const QString model = text.toLower();
        if (model == QLatin1String("4") || model == QLatin1String("vorn4"))
            query.model = QStringLiteral("Vorn4");
        else if (model == QLatin1String("8") || model == QLatin1String("vorn8"))
            query.model = QStringLiteral("Vorn8");
        else
            return QStringLiteral("the model must be 4 or 8 (Vorn4, Vorn8), not '%1'").arg(text);
    }
    if (texts.contains(QStringLiteral("by"))) {
        const QString text = texts.value(QStringLiteral("by"));
        const std::optional<ReportGrouping> by = reportGroupingFromName(text);
        if (!by)
            return QStringLiteral("%1by takes day, hour, station, model, firmware, operator, "
                                  "lot or plan, not '%2'")
                .arg(optionPrefix, text);
        query.by = *by;
    }
    return {};
}

} // namespace RecordsFilters
