#include "store/libpqapi.h"

#include <QLibrary>

#include <mutex>

const LibpqApi *LibpqApi::load(QString *error)
{
    static LibpqApi api;
    static QString failure;
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        QLibrary library(QStringLiteral("pq"), 5);
        if (!library.load()) {
            failure = QStringLiteral("PostgreSQL's client library is not installed (Debian "
                                     "package libpq5): %1")
                          .arg(library.errorString());
            return;
        }
#define VORN_LIBPQ_RESOLVE(name, function)                                                         \
    api.name = reinterpret_cast<decltype(api.name)>(library.resolve(#function));                   \
    if (!api.name) {                                                                               \
        failure = QStringLiteral("PostgreSQL's client library lacks " #function);                  \
        return;                                                                                    \
    }
        VORN_LIBPQ_FUNCTIONS(VORN_LIBPQ_RESOLVE)
#undef VORN_LIBPQ_RESOLVE
    });
    if (!failure.isEmpty()) {
        if (error)
            *error = failure;
        return nullptr;
    }
    return &api;
}
