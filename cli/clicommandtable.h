#pragma once

#include <QList>
#include <QString>

// The commands vornctl runs, one per button of the window plus the port list.
enum class CliCommand
{
    Ports,
    Info,
    Status,
    SelectSlot,
    Clocks,
    SetClocks,
    StoreClocks,
    Time,
    SetTime,
    Echo,
    Char,
    Text,
    DisplayTest,
    TarvikStatus,
    TarvikSelectSlot,
    Lines,
    Dtr,
    Rts,
    Checkout,
    Restore,
};

// How a command is written on the command line and what it does, for parsing and for --help.
struct CliCommandInfo
{
    CliCommand command;
    const char *name;
    const char *argumentSyntax; // "N", "F1 .. F8", "" for none
    int argumentCount;
    const char *summary;

    // Every command but the port list talks to a reader.
    bool needsPort() const { return command != CliCommand::Ports; }
};

class CliCommandTable
{
public:
    static const QList<CliCommandInfo> &all();
    static const CliCommandInfo *find(const QString &name);
    static const CliCommandInfo &info(CliCommand command);

    // "select-slot N": the command as it is typed.
    static QString synopsis(const CliCommandInfo &info);
};
