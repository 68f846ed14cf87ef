#include "store/recordsretestgate.h"

#include "device/identification.h"
#include "store/readerlife.h"
#include "store/recordsconnection.h"
#include "store/recordsstore.h"

#include <utility>

RecordsRetestGate::RecordsRetestGate(RecordsLocation location, Warning warning)
    : m_location(std::move(location)), m_warning(std::move(warning))
{
}

RecordsRetestGate::~RecordsRetestGate()
{
    const std::lock_guard lock(m_openingLock);
    for (const std::shared_future<void> &opening : std::as_const(m_opening))
        opening.wait();
}

void RecordsRetestGate::readerIdentifying()
{
    if (m_location.kind != RecordsLocation::Kind::PostgreSql)
        return; // a file opens in no time
    const std::lock_guard lock(m_openingLock);
    // One opening at a time is enough: the readers share the process's connection.
    if (!m_opening.isEmpty() &&
        m_opening.last().wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    m_opening.append(std::async(std::launch::async, [location = m_location] {
                         RecordsConnection::to(location).run([](RecordsStore &) { return true; },
                                                             nullptr);
                     }).share());
}

RetestGate::Answer RecordsRetestGate::ask(int serialNumber, int limit)
{
    std::optional<int> failures;
    QString error;
    const RecordsConnection::Work count = [&](RecordsStore &store) {
        failures = ReaderLife(store).failuresSinceRepair(serialNumber, limit);
        if (!failures)
            error = store.errorText();
        return failures.has_value();
    };
    if (m_location.kind == RecordsLocation::Kind::PostgreSql) {
        RecordsConnection::to(m_location).run(count, &error);
    } else {
        RecordsStore store(m_location);
        if (store.open(RecordsStore::OpenMode::ExistingOnly))
            count(store);
        else if (store.isMissing())
            failures = 0; // no records yet: no failures
        else
            error = store.errorText();
    }
    if (!failures) {
        std::call_once(m_warned, [&] {
            m_warning(QStringLiteral("warning: the retest limit cannot be checked: %1; readers "
                                     "are checked without it")
                          .arg(error));
        });
        return {false, {}};
    }
    return {true, *failures < limit ? QString() : refusal(serialNumber, *failures)};
}

QString RecordsRetestGate::refusal(int serialNumber, int failures)
{
    return QStringLiteral("SN %1 failed %2 %3 since its last repair: repair it first (vornctl "
                          "records repair %4 ...)")
        .arg(Identification::serialText(quint16(serialNumber)))
        .arg(failures)
        .arg(failures == 1 ? QStringLiteral("time") : QStringLiteral("times"))
        .arg(serialNumber);
}
