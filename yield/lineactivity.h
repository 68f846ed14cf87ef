#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

class RecordsStore;

// A station of a line as a supervisor glances at it: when it last kept a checkout, and its
// figures of one day.
struct StationActivity
{
    QString station;
    QDateTime lastCheckout; // UTC
    qint64 checkouts = 0;   // in the day
    qint64 readers = 0;
    std::optional<double> firstPassYield;
    std::optional<double> finalYield;

    // {"station", "last_checkout", "checkouts", "readers", "first_pass_yield", "final_yield"};
    // a yield without readers is null.
    QJsonObject toJson() const;

    friend bool operator==(const StationActivity &, const StationActivity &) = default;
};

// The stations of a line that kept a checkout since a moment, computed by the records database
// from the yield summaries (the hours each station worked in) and the checkouts' index by
// station: a few rows per station however many checkouts the line keeps.
namespace LineActivity {

// Every station with a checkout from since on, by name, with its last checkout and its
// figures of the day [dayStart, dayEnd) as the yield report counts them. Nothing on failure,
// with the reason in error.
std::optional<QList<StationActivity>> read(RecordsStore &store, const QDateTime &since,
                                           const QDateTime &dayStart, const QDateTime &dayEnd,
                                           QString *error);

} // namespace LineActivity
