#include "store/libsqliteapi.h"

#include "store/lazylibrary.h"

const LibsqliteApi *LibsqliteApi::load(QString *error)
{
    static LibsqliteApi api;
    static const QString failure =
        LazyLibrary::load(QStringLiteral("sqlite3"), 0, QStringLiteral("SQLite's library"),
                          QStringLiteral("libsqlite3-0"), [](QLibrary &library) -> const char * {
#define VORN_LIBSQLITE_RESOLVE(name, function)                                                     \
    api.name = reinterpret_cast<decltype(api.name)>(library.resolve(#function));                   \
    if (!api.name)                                                                                 \
        return #function;
                              VORN_LIBSQLITE_FUNCTIONS(VORN_LIBSQLITE_RESOLVE)
#undef VORN_LIBSQLITE_RESOLVE
                              return nullptr;
                          });
    if (failure.isEmpty())
        return &api;
    if (error)
        *error = failure;
    return nullptr;
}
