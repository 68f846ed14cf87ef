#include "cli/clicommandtable.h"

#include <QtGlobal>

const QList<CliCommandInfo> &CliCommandTable::all()
{
    static const QList<CliCommandInfo> commands{
        {CliCommand::Ports, "ports", "", 0,
         "list the ports: name, description, manufacturer, serial"},
        {CliCommand::Info, "info", "", 0, "read firmware version, model and serial number"},
        {CliCommand::Status, "status", "", 0,
         "show the slots holding a card and the selected slot"},
        {CliCommand::SelectSlot, "select-slot", "N", 1, "select slot N (1-8)"},
        {CliCommand::Clocks, "clocks", "", 0, "show each slot's card clock in MHz, slot 1 first"},
        {CliCommand::SetClocks, "set-clocks", "F1 .. F8", 8,
         "set the card clocks, slot 1 first (3.57/3.68/6.00/8.00)"},
        {CliCommand::StoreClocks, "store-clocks", "F1 .. F8", 8,
         "set the card clocks and store them in the reader"},
        {CliCommand::Time, "time", "", 0, "show the time setting in seconds"},
        {CliCommand::SetTime, "set-time", "S", 1, "store the time setting of S seconds (0-428)"},
        {CliCommand::Echo, "echo", "C", 1, "send the character C and show what comes back"},
        {CliCommand::Char, "char", "CODE", 1, "show character CODE (0-255) on the display"},
        {CliCommand::Text, "text", "TEXT", 1, "show TEXT on the display, one character per 500 ms"},
        {CliCommand::DisplayTest, "display-test", "", 0, "run the dot-pattern test of the display"},
        {CliCommand::TarvikStatus, "tarvik-status", "", 0,
         "show the slots holding a card (Tarvik protocol)"},
        {CliCommand::TarvikSelectSlot, "tarvik-select-slot", "N", 1,
         "select slot N (1-8) (Tarvik protocol)"},
        {CliCommand::Lines, "lines", "", 0,
         "show the card-change (CTS) and cards-in (DCD) signals"},
        {CliCommand::Dtr, "dtr", "on|off", 1, "assert or release DTR"},
        {CliCommand::Rts, "rts", "on|off", 1, "assert or release RTS"},
        {CliCommand::Checkout, "checkout", "", 0,
         "check the readers on every --port at once, step by step"},
        {CliCommand::Restore, "restore", "", 0,
         "put back the reader as a killed checkout of the port found it"},
    };
    return commands;
}

const CliCommandInfo *CliCommandTable::find(const QString &name)
{
    for (const CliCommandInfo &info : all())
        if (name == QLatin1String(info.name))
            return &info;
    return nullptr;
}

const CliCommandInfo &CliCommandTable::info(CliCommand command)
{
    for (const CliCommandInfo &info : all())
        if (info.command == command)
            return info;
    Q_UNREACHABLE();
}

QString CliCommandTable::synopsis(const CliCommandInfo &info)
{
    QString text = QLatin1String(info.name);
    if (*info.argumentSyntax)
        text += QLatin1Char(' ') + QLatin1String(info.argumentSyntax);
    return text;
}
