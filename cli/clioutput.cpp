#include "cli/clioutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

namespace {

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace

QByteArray CliOutput::render(CliCommand command, const QJsonObject &data, bool json)
{
    return json ? CliOutput::json(data) : text(command, data).toUtf8();
}

QByteArray CliOutput::json(const QJsonObject &data)
{
    return QJsonDocument(data).toJson(QJsonDocument::Compact) + '\n';
}

QString CliOutput::text(CliCommand command, const QJsonObject &data)
{
    switch (command) {
    case CliCommand::Ports:
        return portsText(data);
    case CliCommand::Info:
        return data.value(QLatin1String("text")).toString() + QLatin1Char('\n');
    case CliCommand::Status:
        return statusText(data);
    case CliCommand::Clocks:
        return clocksText(data);
    case CliCommand::Time:
        return QString::number(data.value(QLatin1String("seconds")).toInteger()) +
               QLatin1Char('\n');
    case CliCommand::Echo:
        return data.value(QLatin1String("echoed")).toString() + QLatin1Char('\n');
    case CliCommand::TarvikStatus:
        return QStringLiteral("cards: ") +
               slotListText(data.value(QLatin1String("cards")).toArray()) + QLatin1Char('\n');
    case CliCommand::Lines:
        return linesText(data);
    default:
        return {};
    }
}

// One port a line, its four facts separated by tabs so that cut and awk can take them apart.
QString CliOutput::portsText(const QJsonObject &data)
{
    QString text;
    for (const QJsonValue value : data.value(QLatin1String("ports")).toArray()) {
        const QJsonObject port = value.toObject();
        text += QStringList{port.value(QLatin1String("name")).toString(),
                            port.value(QLatin1String("description")).toString(),
                            port.value(QLatin1String("manufacturer")).toString(),
                            port.value(QLatin1String("serial_number")).toString()}
                    .join(QLatin1Char('\t')) +
                QLatin1Char('\n');
    }
    return text;
}

QString CliOutput::slotListText(const QJsonArray &slotNumbers)
{
    if (slotNumbers.isEmpty())
        return QStringLiteral("none");
    QStringList numbers;
    for (const QJsonValue slot : slotNumbers)
        numbers.append(QString::number(slot.toInt()));
    return numbers.join(QLatin1Char(' '));
}

QString CliOutput::statusText(const QJsonObject &data)
{
    return QStringLiteral("cards: ") + slotListText(data.value(QLatin1String("cards")).toArray()) +
           QStringLiteral("\nselected: ") +
           QString::number(data.value(QLatin1String("selected")).toInt()) + QLatin1Char('\n');
}

QString CliOutput::clocksText(const QJsonObject &data)
{
    QStringList frequencies;
    for (const QJsonValue frequency : data.value(QLatin1String("clocks")).toArray())
        frequencies.append(frequency.toString());
    return frequencies.join(QLatin1Char(' ')) + QLatin1Char('\n');
}

QString CliOutput::linesText(const QJsonObject &data)
{
    return QStringLiteral("cards changed: ") +
           yesNo(data.value(QLatin1String("cards_changed")).toBool()) +
           QStringLiteral("\ncards in: ") + yesNo(data.value(QLatin1String("cards_in")).toBool()) +
           QLatin1Char('\n');
}
