#include "yield/lineactivity.h"

#include "store/recordsstore.h"
#include "store/yieldsummaries.h"
#include "yield/yieldreport.h"

#include <QJsonValue>
#include <QMap>
#include <QSqlQuery>
#include <QVariant>

namespace {

QJsonValue orNull(std::optional<double> value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

} // namespace

QJsonObject StationActivity::toJson() const
{
    return {{QStringLiteral("station"), station},
            {QStringLiteral("last_checkout"), isoUtc(lastCheckout)},
            {QStringLiteral("checkouts"), checkouts},
            {QStringLiteral("readers"), readers},
            {QStringLiteral("first_pass_yield"), orNull(firstPassYield)},
            {QStringLiteral("final_yield"), orNull(finalYield)}};
}

std::optional<QList<StationActivity>> LineActivity::read(RecordsStore &store,
                                                         const QDateTime &since,
                                                         const QDateTime &dayStart,
                                                         const QDateTime &dayEnd, QString *error)
{
    RecordsDatabase &database = store.database();
    const auto failed = [&]() -> std::optional<QList<StationActivity>> {
        *error = store.errorText();
        return std::nullopt;
    };
    // The hours a station worked in, from the hour of since on (the summaries count whole
    // hours; a station of that hour's earlier part has its last checkout checked below).
    QSqlQuery stations = database.prepare(
        QStringLiteral("SELECT DISTINCT member FROM yield_hours WHERE dimension = ? AND hour >= ? "
                       "ORDER BY member"));
    stations.addBindValue(YieldSummaries::dimensionName(YieldSummaries::Dimension::Station));
    stations.addBindValue(YieldSummaries::hourOf(since));
    if (!database.exec(stations))
        return failed();
    QStringList names;
    while (stations.next())
        names.append(stations.value(0).toString());
    if (!database.readToTheEnd(stations))
        return failed();

    QList<StationActivity> activities;
    QSqlQuery last =
        database.prepare(QStringLiteral("SELECT max(started) FROM checkouts WHERE station = ?"));
    for (const QString &name : names) {
        last.addBindValue(name);
        if (!database.exec(last) || !last.next())
            return failed();
        StationActivity activity;
        activity.station = name;
        activity.lastCheckout =
            QDateTime::fromString(last.value(0).toString(), Qt::ISODateWithMs).toUTC();
        last.finish();
        if (activity.lastCheckout >= since)
            activities.append(activity);
    }

    ReportQuery day;
    day.from = dayStart;
    day.to = dayEnd;
    day.by = ReportGrouping::Station;
    YieldReport report(store);
    const std::optional<ReportFigures> figures = report.run(day);
    if (!figures) {
        *error = report.errorText();
        return std::nullopt;
    }
    QMap<QString, ReportGroup> groups;
    for (const ReportGroup &group : figures->groups)
        groups.insert(group.key, group);
    for (StationActivity &activity : activities) {
        const ReportGroup group = groups.value(activity.station);
        activity.checkouts = group.checkouts;
        activity.readers = group.readers;
        activity.firstPassYield = group.firstPassYield();
        activity.finalYield = group.finalYield();
    }
    return activities;
}
