#include "checkout/measurementtitles.h"

#include <QHash>
#include <QRegularExpression>

namespace {

const QHash<QString, QString> &titles()
{
    static const QHash<QString, QString> table{
        {QStringLiteral("model_type"), QStringLiteral("Model type")},
        {QStringLiteral("firmware"), QStringLiteral("Firmware version")},
        {QStringLiteral("serial"), QStringLiteral("Serial number")},
        {QStringLiteral("occupancy"), QStringLiteral("Occupied slots")},
        {QStringLiteral("selected_slot"), QStringLiteral("Selected slot")},
        {QStringLiteral("slots_selectable"), QStringLiteral("Slots that can be selected")},
        {QStringLiteral("clock_slots_following"), QStringLiteral("Slots whose clock follows")},
        {QStringLiteral("tarvik_occupancy"), QStringLiteral("Occupied slots, Tarvik status")},
        {QStringLiteral("time_setting_s"), QStringLiteral("Time setting")},
        {QStringLiteral("time_setting_counts"), QStringLiteral("Time setting in counts")},
        {QStringLiteral("bytes_echoed"), QStringLiteral("Bytes echoed unchanged")},
        {QStringLiteral("cts_active"), QStringLiteral("CTS line active")},
        {QStringLiteral("dcd_active"), QStringLiteral("DCD line active")},
        {QStringLiteral("display_dots_lit"), QStringLiteral("Every display dot lit")},
        {QStringLiteral("cards_inserted_confirmed"), QStringLiteral("Cards inserted (operator)")},
        {QStringLiteral("cards_inserted_occupancy"), QStringLiteral("Cards seen after inserting")},
        {QStringLiteral("cards_inserted_tarvik"),
         QStringLiteral("Cards seen after inserting, Tarvik status")},
        {QStringLiteral("cards_removed_confirmed"), QStringLiteral("Cards removed (operator)")},
        {QStringLiteral("cards_removed_occupancy"), QStringLiteral("Cards seen after removing")},
        {QStringLiteral("cards_removed_tarvik"),
         QStringLiteral("Cards seen after removing, Tarvik status")},
        {QStringLiteral("stored_time_setting_s"), QStringLiteral("Stored time setting")},
    };
    return table;
}

} // namespace

QString MeasurementTitles::title(const QString &measurementName)
{
    if (const auto found = titles().constFind(measurementName); found != titles().cend())
        return *found;
    static const QRegularExpression clockOfSlot(QStringLiteral("^clock_slot_(\\d)$"));
    if (const QRegularExpressionMatch match = clockOfSlot.match(measurementName); match.hasMatch())
        return QStringLiteral("Clock of slot %1").arg(match.captured(1));
    return measurementName;
}
