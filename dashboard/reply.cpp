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
