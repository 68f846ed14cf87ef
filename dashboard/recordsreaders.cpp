#include "dashboard/recordsreaders.h"

#include "store/recordsstore.h"

#include <utility>

namespace {

RecordsService::Policy readersPolicy(int threads)
{
    RecordsService::Policy policy;
    policy.mode = RecordsStore::OpenMode::ReadOnly;
    policy.threads = threads;
    policy.repeatOnNewConnection = true;
    return policy;
}

} // namespace

RecordsReaders::RecordsReaders(RecordsLocation location, int threads)
    : m_service(std::move(location), readersPolicy(threads))
{
}

void RecordsReaders::post(Work work, Done done)
{
    m_service.post(
        [work = std::move(work), done = std::move(done)](RecordsService::Session &session) {
            constexpr int Unavailable = 503;
            RecordsStore *store = session.store();
            if (!store) {
                done(Reply::error(Unavailable, session.failure()));
                return true;
            }
            QString error;
            if (const std::optional<Reply> reply = work(*store, error)) {
                done(*reply);
                return true;
            }
            if (session.mayRepeat())
                return false;
            done(Reply::error(Unavailable, error.isEmpty() ? store->errorText() : error));
            return false;
        });
}
