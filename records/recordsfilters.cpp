#include "records/recordsfilters.h"

#include "checkout/decimaltext.h"

namespace RecordsFilters {

namespace {

constexpr uint LargestLimit = 1000000000;

} // namespace

QString takeList(const Texts &texts, const QString &optionPrefix, RecordsFilter &filter,
                 LineRecords::ListChoice &choice)
{
    QString problem;
    const std::optional<RecordsFilter> read = RecordsFilter::read(texts, optionPrefix, &problem);
    if (!read)
        return problem;
    filter = *read;
    if (const QString text = texts.value(QStringLiteral("outcome")); !text.isEmpty()) {
        choice.outcome = readerOutcomeFromName(text);
        if (!choice.outcome)
            return QStringLiteral("%1outcome must be pass, fail, error, aborted or refused, not "
                                  "'%2'")
                .arg(optionPrefix, text);
    }
    if (const QString text = texts.value(QStringLiteral("limit")); !text.isEmpty()) {
        const std::optional<uint> limit = DecimalText::inRange(text, 1, LargestLimit);
        if (!limit)
            return QStringLiteral("%1limit must be a number of records from 1, not '%2'")
                .arg(optionPrefix, text);
        choice.limit = int(*limit);
    }
    return {};
}

QString takeReport(const Texts &texts, const QDateTime &now, const QString &optionPrefix,
                   ReportQuery &query)
{
    QString problem;
    const std::optional<RecordsFilter> filter = RecordsFilter::read(texts, optionPrefix, &problem);
    if (!filter)
        return problem;
    LineRecords::ReportChoice choice;
    if (const QString text = texts.value(QStringLiteral("by")); !text.isEmpty()) {
        const std::optional<ReportGrouping> by = reportGroupingFromName(text);
        if (!by)
            return QStringLiteral("%1by takes day, hour, station, model, firmware, operator, "
                                  "lot or plan, not '%2'")
                .arg(optionPrefix, text);
        choice.by = *by;
    }
    const RecordsAnswer<ReportQuery> asked = LineRecords::reportQuery(*filter, choice, now);
    if (!asked)
        return asked.problem().text;
    query = *asked;
    return {};
}

} // namespace RecordsFilters
