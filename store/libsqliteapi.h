#pragma once

#include <QString>

#include <sqlite3.h>

// The functions of SQLite's library (libsqlite3.so.0) that a walk over every kept checkout uses
// to read the rows' bytes where SQLite keeps them, on the connection Qt SQL opened. Qt's SQLite
// driver links the same library, so it is loaded already whenever an SQLite file is open.
//
//     const LibsqliteApi *sqlite = LibsqliteApi::load(&error);
//     if (sqlite) sqlite->step(statement);
struct LibsqliteApi
{
#define VORN_LIBSQLITE_FUNCTIONS(X)                                                                \
    X(prepare, sqlite3_prepare_v2)                                                                 \
    X(bindText, sqlite3_bind_text)                                                                 \
    X(bindInt64, sqlite3_bind_int64)                                                               \
    X(step, sqlite3_step)                                                                          \
    X(columnType, sqlite3_column_type)                                                             \
    X(columnInt64, sqlite3_column_int64)                                                           \
    X(columnBlob, sqlite3_column_blob)                                                             \
    X(columnBytes, sqlite3_column_bytes)                                                           \
    X(finalize, sqlite3_finalize)                                                                  \
    X(errorMessage, sqlite3_errmsg)
#define VORN_LIBSQLITE_MEMBER(name, function) decltype(&::function) name = nullptr;
    VORN_LIBSQLITE_FUNCTIONS(VORN_LIBSQLITE_MEMBER)
#undef VORN_LIBSQLITE_MEMBER

    // The library's functions, loaded once for the process; null, with the reason in error,
    // when the library or one of them is not there.
    static const LibsqliteApi *load(QString *error);
};
