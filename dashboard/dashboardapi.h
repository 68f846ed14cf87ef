#pragma once

#include "dashboard/reply.h"
#include "dashboard/sharedanswers.h"
#include "records/recordsfilters.h"
#include "store/recordslocation.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class RecordsReaders;
class RecordsStore;

// What vorn-dashboard answers, without the HTTP around it: the page and its scripts, and the
// JSON API over the records, whose objects are those vornctl prints:
//
//   /api/report?FILTERS&by=                          records report --json
//   /api/records?FILTERS&serial=&outcome=&limit=     records list --json
//   /api/report.csv?..., /api/records.csv?...      the same as records report/list --csv
//   /api/records/ID                                   records show ID --json
//   /api/records/ID/certificate.pdf                   records certificate ID
//   /api/readers/SERIAL/history?FILTERS               records history SERIAL --json
//   /api/stations?FILTERS  each station's last checkout and its figures of today (UTC), and
//                          the line's target first-pass yield; the filters' days aside
//
// where FILTERS are station, model, lot, operator, plan, since and until, read and applied by
// the records layer (LineRecords) alike for every answer, so every panel of the page obeys them.
//
// The database work runs on the readers' threads; the answer comes back on this object's
// thread. Identical reports (and station lists) asked within the sharing time share one.
class DashboardApi : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        RecordsLocation location;
        int readers = 4;
        std::chrono::milliseconds sharing{2000};
        // Debian's Chart.js (libjs-chart.js), which the page's charts draw with.
        QString chartScript = QStringLiteral("/usr/share/javascript/chart.js/chart.min.js");
        // The first-pass yield a station should reach: its tile is coloured against it.
        double targetYield = 0.95;
    };
    using Respond = std::function<void(const Reply &reply)>;

    // A list without a limit shows this many checkouts; a larger limit is refused.
    static constexpr int DefaultListLimit = 1000;
    static constexpr int LargestListLimit = 10000;
    // The stations listed are those that kept a checkout in these last days.
    static constexpr int StationDays = 30;

    explicit DashboardApi(Settings settings, QObject *parent = nullptr);
    ~DashboardApi() override;

    // Answers a GET of path with query (both as they stand in the request line, percent-
    // encoded) through respond, at once or later, always on this object's thread.
    void answer(const QByteArray &path, const QByteArray &query, const Respond &respond);

    // How many reports and station lists were computed by the database.
    int reportsMade() const { return m_reports.made(); }
    bool hasChartScript() const { return !m_chartScript.isEmpty(); }

private:
    void report(const RecordsFilters::Texts &texts, bool csv, const Respond &respond);
    void list(const RecordsFilters::Texts &texts, bool csv, const Respond &respond);
    void show(const QString &id, bool certificate, const Respond &respond);
    // Each station's last checkout and its figures of today, narrowed by the filters.
    void stations(const RecordsFilters::Texts &texts, const Respond &respond);
    // The reader's checkouts and repairs the filters let through, oldest first.
    void history(const QString &serial, const RecordsFilters::Texts &texts, const Respond &respond);
    // Where the records are read: {"standby": false}, or a standby with the moment of the last
    // change it replayed ("replayed", ISO 8601 UTC) and whether it is catching up.
    void source(const Respond &respond);
    // Runs work on a reader thread and brings its answer back to this thread.
    void read(std::function<std::optional<Reply>(RecordsStore &, QString &)> work,
              const Respond &respond);

    const Settings m_settings;
    const QByteArray m_chartScript;
    std::unique_ptr<RecordsReaders> m_readers;
    SharedAnswers m_reports;
};
