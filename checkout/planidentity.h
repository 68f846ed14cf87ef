#pragma once

#include <QJsonObject>
#include <QString>

// Which plan a checkout ran: its name, revision and the SHA-256 of its canonical form. An
// auditor tells by it which limits a reader passed; records kept before plans have none.
struct PlanIdentity
{
    QString name;
    QString revision;
    QString sha256;

    bool isEmpty() const { return name.isEmpty(); }
    // "Vorn8-retail, revision 3, SHA-256 1f2e...", for people; what is not known is left out.
    QString text() const
    {
        QString words = name;
        if (!revision.isEmpty())
            words += QStringLiteral(", revision ") + revision;
        if (!sha256.isEmpty())
            words += QStringLiteral(", SHA-256 ") + sha256;
        return words;
    }
    // {"name", "revision", "sha256"}
    QJsonObject toJson() const
    {
        return {{QStringLiteral("name"), name},
                {QStringLiteral("revision"), revision},
                {QStringLiteral("sha256"), sha256}};
    }
    static PlanIdentity fromJson(const QJsonObject &object)
    {
        return {object.value(QLatin1String("name")).toString(),
                object.value(QLatin1String("revision")).toString(),
                object.value(QLatin1String("sha256")).toString()};
    }

    friend bool operator==(const PlanIdentity &, const PlanIdentity &) = default;
};
