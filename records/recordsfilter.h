#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>

#include <optional>

struct ReaderRecord;
struct RecordsQuery;
struct ReportQuery;

// Which checkouts a front end shows, as people narrow them: on vornctl's command line, in the
// address of a vorn-dashboard request, in the station's list. Read from the texts in one place,
// so every front end accepts and refuses the same values with the same words, and applied by
// the records layer to every figure it gives: the list, the report, the stations' day, a
// reader's history and the CSV files. An empty field does not narrow.
struct RecordsFilter
{
    // The texts given, by name without dashes ("serial", "since", ...); a name not given is
    // not in the map, and an empty text counts as not given.
    using Texts = QMap<QString, QString>;

    QString station;
    QString model; // "Vorn4", "Vorn8"
    QString lot;
    QString operatorName;
    QString plan;    // the plan's name
    QDateTime since; // UTC, included
    QDateTime until; // UTC, not included
    std::optional<int> serialNumber;

    // The names read here, as a request or a command line gives them.
    static const QStringList &names();

    // The filter given by texts (other names are left to the caller), or nothing with what is
    // wrong in problem. Messages name a value as optionPrefix followed by its name ("--since"
    // for vornctl, "since" for the dashboard).
    static std::optional<RecordsFilter> read(const Texts &texts, const QString &optionPrefix,
                                             QString *problem);

    // A moment of a window, in UTC: a day (2026-12-07: its start, or with end its end) or a
    // moment (2026-12-07T14:30, UTC unless it names its zone: 2026-12-07T15:30+01:00).
    // Invalid when it is neither.
    static QDateTime moment(const QString &text, bool end);

    bool narrowsTime() const { return since.isValid() || until.isValid(); }
    // Whether the stored checkout is one the filter lets through.
    bool admits(const ReaderRecord &record) const;

    // The filter's fields in a list's query and in a report's (whose window the caller sets).
    void narrow(RecordsQuery &query) const;
    void narrow(ReportQuery &query) const;
};
