#include "emulator/readerdefect.h"

#include "device/readerprotocol.h"

#include <array>
#include <limits>

namespace {

struct DefectName
{
    ReaderDefect::Kind kind;
    const char *prefix; // the name up to its number, or the whole name when it takes none
    int minimum;
    int maximum;
    bool numbered;
};

constexpr std::array<DefectName, 5> DefectNames{{
    {ReaderDefect::Kind::EchoBit, "echo-bit-", 0, 7, true},
    {ReaderDefect::Kind::ClockStuckSlot, "clock-stuck-slot-", 1, ReaderProtocol::SlotCount, true},
    {ReaderDefect::Kind::SlotUnselectable, "slot-unselectable-", 1, ReaderProtocol::SlotCount,
     true},
    {ReaderDefect::Kind::TarvikDisagrees, "tarvik-disagrees", 0, 0, false},
    {ReaderDefect::Kind::NoAnswerAfter, "no-answer-after-", 0, std::numeric_limits<int>::max(),
     true},
}};

bool isDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

std::optional<ReaderDefect> ReaderDefect::fromName(const QString &name)
{
    for (const DefectName &defect : DefectNames) {
        const QLatin1String prefix(defect.prefix);
        if (!defect.numbered) {
            if (name == prefix)
                return ReaderDefect{defect.kind, 0};
            continue;
        }
        if (!name.startsWith(prefix))
            continue;
        const QStringView digits = QStringView(name).mid(prefix.size());
        bool ok = false;
        const qlonglong number = digits.toLongLong(&ok);
        if (!isDigits(digits) || !ok || number < defect.minimum || number > defect.maximum)
            return std::nullopt;
        return ReaderDefect{defect.kind, int(number)};
    }
    return std::nullopt;
}

QString ReaderDefect::name() const
{
    for (const DefectName &defect : DefectNames) {
        if (defect.kind == kind)
            return defect.numbered ? QLatin1String(defect.prefix) + QString::number(number)
                                   : QString(QLatin1String(defect.prefix));
    }
    return {};
}

QStringList ReaderDefect::syntax()
{
    QStringList names;
    for (const DefectName &defect : DefectNames)
        names.append(QLatin1String(defect.prefix) +
                     (defect.numbered ? QStringLiteral("N") : QString()));
    return names;
}
