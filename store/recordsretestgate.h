#pragma once

#include "checkout/retestgate.h"
#include "store/recordslocation.h"

#include <QList>
#include <QString>

#include <functional>
#include <future>
#include <mutex>

// The retest limit's question answered by the line's records: the reader's attempts since its
// last repair, from every station that keeps its records there. When the records cannot be
// reached the reader is checked anyway, its record says the limit was not checked, and the
// front end is warned once.
class RecordsRetestGate final : public RetestGate
{
public:
    using Warning = std::function<void(const QString &)>;

    RecordsRetestGate(RecordsLocation location, Warning warning);
    ~RecordsRetestGate() override;
    RecordsRetestGate(const RecordsRetestGate &) = delete;
    RecordsRetestGate &operator=(const RecordsRetestGate &) = delete;

    // On a server, opens the process's connection while the reader answers.
    void readerIdentifying() override;
    Answer ask(int serialNumber, int limit) override;

    // "SN 001234 failed 2 times since its last repair: repair it first (vornctl records repair
    // 1234 ...)"
    static QString refusal(int serialNumber, int failures);

private:
    RecordsLocation m_location;
    Warning m_warning;
    std::once_flag m_warned;
    std::mutex m_openingLock;
    QList<std::shared_future<void>> m_opening;
};
