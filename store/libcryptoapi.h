#pragma once

#include <QString>

#include <openssl/evp.h>

// The functions of OpenSSL's libcrypto (libcrypto.so.3) that the records' chain hashes use, found
// the first time a hash is made rather than when a program starts: a station loads the library,
// one of the largest it could, only once it keeps or checks a record.
//
//     const LibcryptoApi *crypto = LibcryptoApi::load(&error);
//     if (crypto) EVP_MD_CTX *context = crypto->newContext();
struct LibcryptoApi
{
#define VORN_LIBCRYPTO_FUNCTIONS(X)                                                                \
    X(newContext, EVP_MD_CTX_new)                                                                  \
    X(freeContext, EVP_MD_CTX_free)                                                                \
    X(digestInit, EVP_DigestInit_ex)                                                               \
    X(digestUpdate, EVP_DigestUpdate)                                                              \
    X(digestFinal, EVP_DigestFinal_ex)                                                             \
    X(fetchDigest, EVP_MD_fetch)
#define VORN_LIBCRYPTO_MEMBER(name, function) decltype(&::function) name = nullptr;
    VORN_LIBCRYPTO_FUNCTIONS(VORN_LIBCRYPTO_MEMBER)
#undef VORN_LIBCRYPTO_MEMBER

    // The library's functions, loaded once for the process; null, with the reason in error,
    // when the library or one of them is not there.
    static const LibcryptoApi *load(QString *error);
};
