#include "dashboard/reply.h"

#include <QJsonDocument>
#include <QJsonObject>

Reply Reply::json(const QJsonObject &object, int status)
{
    Reply reply;
    reply.status = status;
    reply.contentType = QByteArrayLiteral("application/json");
    reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    return reply;
}

Reply Reply::error(int status, const QString &message)
{
    return json({{QStringLiteral("error"), message}}, status);
}

Reply Reply::csv(const QString &text, const QString &fileName)
{
    Reply reply;
    reply.contentType = QByteArrayLiteral("text/csv; charset=utf-8");
    reply.body = text.toUtf8();
    reply.headers.append(
        {QByteArrayLiteral("Content-Disposition"),
         QByteArrayLiteral("attachment; filename=\"") + fileName.toLatin1() + '"'});
    return reply;
}
