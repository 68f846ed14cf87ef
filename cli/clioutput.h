#pragma once

#include "cli/clicommandtable.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>

// Turns a command's result into what vornctl prints on standard output: short text for a
// person, or with --json one compact JSON object on one line. Commands that only send print
// no text, and an empty object as JSON.
class CliOutput
{
public:
    static QByteArray render(CliCommand command, const QJsonObject &data, bool json);

    static QByteArray json(const QJsonObject &data);
    static QString text(CliCommand command, const QJsonObject &data);

private:
    static QString portsText(const QJsonObject &data);
    static QString slotListText(const QJsonArray &slotNumbers);
    static QString statusText(const QJsonObject &data);
    static QString clocksText(const QJsonObject &data);
    static QString linesText(const QJsonObject &data);
};
