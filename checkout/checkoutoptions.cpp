#include "checkout/checkoutoptions.h"

#include "device/readerprotocol.h"
#include "device/timesetting.h"

#include <QJsonArray>
#include <QJsonValue>

namespace {

template <typename Number> QJsonValue optionalNumber(const std::optional<Number> &value)
{
    return value ? QJsonValue(int(*value)) : QJsonValue(QJsonValue::Null);
}

} // namespace

QJsonObject CheckoutOptions::toJson() const
{
    QJsonValue clocks(QJsonValue::Null);
    if (programClocks) {
        QJsonArray texts;
        for (int slot = 0; slot < ReaderProtocol::SlotCount; ++slot)
            texts.append(ClockSelection::frequencyText(programClocks->code(slot)));
        clocks = texts;
    }
    return {{QStringLiteral("model"), optionalNumber(model)},
            {QStringLiteral("min_firmware"), optionalNumber(minFirmware)},
            {QStringLiteral("echo"),
             echo == Echo::All ? QStringLiteral("all") : QStringLiteral("quick")},
            {QStringLiteral("prompt"), prompt},
            {QStringLiteral("cards"), cards},
            {QStringLiteral("program_clocks"), clocks},
            {QStringLiteral("program_time_s"),
             programTimeCounts
                 ? QJsonValue(qint64(TimeSetting::secondsFromCounts(*programTimeCounts)))
                 : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("retest_limit"), optionalNumber(retestLimit)}};
}
