#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class QJsonObject;

// One answer of the dashboard, before it is written: status, type and body, and any header of
// its own beside those every answer carries.
struct Reply
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;

    // The object as vornctl prints it: compact JSON and a line break.
    static Reply json(const QJsonObject &object, int status = 200);
    // {"error": message}
    static Reply error(int status, const QString &message);
    // A CSV download, saved as fileName.
    static Reply csv(const QString &text, const QString &fileName);
};
