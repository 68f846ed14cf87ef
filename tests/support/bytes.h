#pragma once

#include <QByteArray>

#include <initializer_list>

// Bytes written as numbers, as a technician reads them off a trace.
inline QByteArray bytes(std::initializer_list<quint8> values)
{
    QByteArray result;
    for (const quint8 value : values)
        result.append(char(value));
    return result;
}
