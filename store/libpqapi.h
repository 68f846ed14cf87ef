#pragma once

#include <QString>

#include <libpq-fe.h>

// The functions of PostgreSQL's client library (libpq.so.5) that LibpqDriver calls, found when
// a program first opens a PostgreSQL location rather than when it starts: libpq brings
// Kerberos, LDAP and SASL with it, which a station or vornctl on an SQLite file would load for
// nothing at every start.
//
//     const LibpqApi *pq = LibpqApi::load(&error);
//     if (pq) PGconn *connection = pq->connectdbParams(keywords, values, 0);
struct LibpqApi
{
#define VORN_LIBPQ_FUNCTIONS(X)                                                                    \
    X(clear, PQclear)                                                                              \
    X(cmdStatus, PQcmdStatus)                                                                      \
    X(cmdTuples, PQcmdTuples)                                                                      \
    X(connectdbParams, PQconnectdbParams)                                                          \
    X(errorMessage, PQerrorMessage)                                                                \
    X(enterPipelineMode, PQenterPipelineMode)                                                      \
    X(exec, PQexec)                                                                                \
    X(exitPipelineMode, PQexitPipelineMode)                                                        \
    X(execParams, PQexecParams)                                                                    \
    X(finish, PQfinish)                                                                            \
    X(fname, PQfname)                                                                              \
    X(freemem, PQfreemem)                                                                          \
    X(ftype, PQftype)                                                                              \
    X(getisnull, PQgetisnull)                                                                      \
    X(getResult, PQgetResult)                                                                      \
    X(getlength, PQgetlength)                                                                      \
    X(getvalue, PQgetvalue)                                                                        \
    X(makeEmptyResult, PQmakeEmptyPGresult)                                                        \
    X(nfields, PQnfields)                                                                          \
    X(ntuples, PQntuples)                                                                          \
    X(pipelineSync, PQpipelineSync)                                                                \
    X(resultErrorField, PQresultErrorField)                                                        \
    X(resultErrorMessage, PQresultErrorMessage)                                                    \
    X(resultStatus, PQresultStatus)                                                                \
    X(sendQueryParams, PQsendQueryParams)                                                          \
    X(setNoticeProcessor, PQsetNoticeProcessor)                                                    \
    X(status, PQstatus)                                                                            \
    X(unescapeBytea, PQunescapeBytea)
#define VORN_LIBPQ_MEMBER(name, function) decltype(&::function) name = nullptr;
    VORN_LIBPQ_FUNCTIONS(VORN_LIBPQ_MEMBER)
#undef VORN_LIBPQ_MEMBER

    // The library's functions, loaded once for the process; null, with the reason in error,
    // when the library or one of them is not there.
    static const LibpqApi *load(QString *error);
};
