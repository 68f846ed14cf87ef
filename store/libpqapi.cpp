#include "store/libpqapi.h"

#include "store/lazylibrary.h"

const LibpqApi *LibpqApi::load(QString *error)
{
    static LibpqApi api;
    static const QString failure =
        LazyLibrary::load(QStringLiteral("pq"), 5, QStringLiteral("PostgreSQL's client library"),
                          QStringLiteral("libpq5"), [](QLibrary &library) -> const char * {
#define VORN_LIBPQ_RESOLVE(name, function)                                                         \
    api.name = reinterpret_cast<decltype(api.name)>(library.resolve(#function));                   \
    if (!api.name)                                                                                 \
        return #function;
                              VORN_LIBPQ_FUNCTIONS(VORN_LIBPQ_RESOLVE)
#undef VORN_LIBPQ_RESOLVE
                              return nullptr;
                          });
    if (failure.isEmpty())
        return &api;
    if (error)
        *error = failure;
    return nullptr;
}
