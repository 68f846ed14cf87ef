#include "records/recordsfilter.h"

#include "checkout/checkoutrecord.h"
#include "checkout/decimaltext.h"
#include "store/recordsstore.h"
#include "yield/yieldreport.h"

#include <QTimeZone>

namespace {

const QString Station = QStringLiteral("station");
const QString Model = QStringLiteral("model");
const QString Lot = QStringLiteral("lot");
const QString Operator = QStringLiteral("operator");
const QString Plan = QStringLiteral("plan");
const QString Since = QStringLiteral("since");
const QString Until = QStringLiteral("until");
const QString Serial = QStringLiteral("serial");

// "4", "8", "vorn4", "Vorn8" as the records name the model; nothing for anything else.
std::optional<QString> modelName(const QString &text)
{
    const QString model = text.toLower();
    if (model == QLatin1String("4") || model == QLatin1String("vorn4"))
        return QStringLiteral("Vorn4");
    if (model == QLatin1String("8") || model == QLatin1String("vorn8"))
        return QStringLiteral("Vorn8");
    return std::nullopt;
}

} // namespace

const QStringList &RecordsFilter::names()
{
    static const QStringList all{Station, Model, Lot, Operator, Plan, Since, Until, Serial};
    return all;
}

QDateTime RecordsFilter::moment(const QString &text, bool end)
{
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid() && text.size() == 10)
        return QDateTime(end ? day.addDays(1) : day, QTime(0, 0), QTimeZone::utc());
    const QDateTime moment = QDateTime::fromString(text, Qt::ISODate);
    if (!moment.isValid() || moment.timeSpec() != Qt::LocalTime)
        return moment.toUTC();
    return QDateTime(moment.date(), moment.time(), QTimeZone::utc());
}

std::optional<RecordsFilter> RecordsFilter::read(const Texts &texts, const QString &optionPrefix,
                                                 QString *problem)
{
    const auto given = [&texts](const QString &name) { return texts.value(name).trimmed(); };
    const auto refuse = [problem](const QString &text) {
        *problem = text;
        return std::nullopt;
    };
    RecordsFilter filter;
    filter.station = given(Station);
    filter.lot = given(Lot);
    filter.operatorName = given(Operator);
    filter.plan = given(Plan);
    if (const QString text = given(Model); !text.isEmpty()) {
        const std::optional<QString> model = modelName(text);
        if (!model)
            return refuse(QStringLiteral("%1model must be 4 or 8 (Vorn4, Vorn8), not '%2'")
                              .arg(optionPrefix, text));
        filter.model = *model;
    }
    const QString dateWords = QStringLiteral(
        "%1%2 must be a date or a date and time in UTC, like 2026-12-07 or 2026-12-07T14:30, "
        "not '%3'");
    if (const QString text = given(Since); !text.isEmpty()) {
        filter.since = moment(text, false);
        if (!filter.since.isValid())
            return refuse(dateWords.arg(optionPrefix, Since, text));
    }
    if (const QString text = given(Until); !text.isEmpty()) {
        filter.until = moment(text, true);
        if (!filter.until.isValid())
            return refuse(dateWords.arg(optionPrefix, Until, text));
    }
    if (filter.since.isValid() && filter.until.isValid() && filter.since >= filter.until)
        return refuse(QStringLiteral("the window is empty: %1since %2 is not before %1until %3")
                          .arg(optionPrefix, filter.since.toString(Qt::ISODate),
                               filter.until.toString(Qt::ISODate)));
    if (const QString text = given(Serial); !text.isEmpty()) {
        const std::optional<uint> serial = DecimalText::inRange(text, 0, 0xFFFF);
        if (!serial)
            return refuse(QStringLiteral("%1serial must be a number from 0 to 65535, not '%2'")
                              .arg(optionPrefix, text));
        filter.serialNumber = int(*serial);
    }
    return filter;
}

bool RecordsFilter::admits(const ReaderRecord &record) const
{
    const auto matches = [](const QString &wanted, const QString &value) {
        return wanted.isEmpty() || wanted == value;
    };
    return matches(station, record.station) && matches(model, record.modelName()) &&
           matches(lot, record.lot) && matches(operatorName, record.operatorName) &&
           matches(plan, record.plan.name) && (!since.isValid() || record.started >= since) &&
           (!until.isValid() || record.started < until) &&
           (!serialNumber || record.serialNumber == serialNumber);
}

void RecordsFilter::narrow(RecordsQuery &query) const
{
    query.station = station;
    query.model = model;
    query.lot = lot;
    query.operatorName = operatorName;
    query.plan = plan;
    query.since = since;
    query.until = until;
    query.serialNumber = serialNumber;
}

void RecordsFilter::narrow(ReportQuery &query) const
{
    query.station = station;
    query.model = model;
    query.lot = lot;
    query.operatorName = operatorName;
    query.plan = plan;
}
