#include "store/libcryptoapi.h"

#include "store/lazylibrary.h"

const LibcryptoApi *LibcryptoApi::load(QString *error)
{
    static LibcryptoApi api;
    static const QString failure =
        LazyLibrary::load(QStringLiteral("crypto"), 3,
                          QStringLiteral("OpenSSL's libcrypto, which makes the records' hashes,"),
                          QStringLiteral("libssl3"), [](QLibrary &library) -> const char * {
#define VORN_LIBCRYPTO_RESOLVE(name, function)                                                     \
    api.name = reinterpret_cast<decltype(api.name)>(library.resolve(#function));                   \
    if (!api.name)                                                                                 \
        return #function;
                              VORN_LIBCRYPTO_FUNCTIONS(VORN_LIBCRYPTO_RESOLVE)
#undef VORN_LIBCRYPTO_RESOLVE
                              return nullptr;
                          });
    if (failure.isEmpty())
        return &api;
    if (error)
        *error = failure;
    return nullptr;
}
