#include "checkout/settingsrestore.h"

#include "checkout/checkoutrecord.h"
#include "checkout/readerjournal.h"
#include "device/identification.h"
#include "device/readercommands.h"

bool SettingsRestore::putBack(const FoundSettings &found)
{
    bool restored = true;
    if (found.selectedSlot) {
        m_reader.selectSlot(*found.selectedSlot);
        const DeviceResult<SlotStatus> status = m_reader.readStatus();
        restored = status.ok() && status.value.selectedSlot == *found.selectedSlot;
    }
    if (found.clocks) {
        m_reader.writeClocks(*found.clocks);
        const DeviceResult<ClockSelection> back = m_reader.readClocks();
        restored = restored && back.ok() &&
                   found.clocksText(back.value) == found.clocksText(*found.clocks);
    }
    return restored;
}

SettingsRestore::Leftovers SettingsRestore::putBackLeftovers(ReaderJournal &journal,
                                                             const QString &port, int serialNumber)
{
    Leftovers leftovers;
    for (const FoundSettings &found : journal.left(port)) {
        const QString checkout =
            QStringLiteral("the %1 checkout of %2").arg(found.tool, isoUtc(found.started));
        if (found.serialNumber != serialNumber) {
            leftovers.notes.append(
                QStringLiteral("%1 did not end and left SN %2 changed (%3), but SN %4 is on the "
                               "port now: its note is left for it")
                    .arg(checkout, Identification::serialText(quint16(found.serialNumber)),
                         found.text(), Identification::serialText(quint16(serialNumber))));
            continue;
        }
        if (!putBack(found)) {
            leftovers.failed = true;
            leftovers.notes.append(QStringLiteral("%1 did not end and left the reader changed; "
                                                  "putting back %2 did not take, the note is kept")
                                       .arg(checkout, found.text()));
            continue;
        }
        journal.forget(port, serialNumber);
        leftovers.restored =
            QStringLiteral("%1, as found before %2, which did not end").arg(found.text(), checkout);
        leftovers.notes.append(QStringLiteral("put back %1").arg(leftovers.restored));
    }
    return leftovers;
}
