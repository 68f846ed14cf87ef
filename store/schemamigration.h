#pragma once

#include "store/recordslocation.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class RecordsDatabase;

// Bringing a records database's schema up to date: what it takes (the steps, and from the
// number of checkouts kept how long), and the running of it in one transaction, step by step,
// telling a watcher how far it got.
//
// A step's statements are plain text, as RecordsDatabase::Migrations holds them (step N takes
// the database from version N-1 to N); two marks in
// front of a statement say more about it: named() gives the step its name (a statement of its
// own, never run) and overEveryCheckout() marks a statement that reads or writes every checkout
// kept, whose time grows with the line's records. A migration with such statements on a
// database of more than LongAbove checkouts is long: a program that opens the records waits
// for someone to run it (`vornctl records migrate`) rather than starting it on its own.
class SchemaMigration
{
public:
    // Above this many checkouts a step over every checkout takes seconds (about one second
    // on SQLite, two on PostgreSQL): too long for a station's start or a checkout's end.
    static constexpr qint64 LongAbove = 25'000;

    struct Stage
    {
        int version = 0; // the schema version the step leads to
        QString name;
        int statements = 0;
        int overEveryCheckout = 0; // of the statements
    };

    struct Plan
    {
        int from = 0;
        int to = 0;
        qint64 checkouts = 0; // kept now (0 when no step reads them)
        QList<Stage> stages;
        double estimatedSeconds = 0;

        bool isLong() const;
        // "schema version 2 to 5, 4 steps over 1000000 checkouts, about 2 min"
        QString summary() const;
    };

    // Where a running migration is: the stage (1-based, of stages), the part of the whole
    // done (0-1, weighed by the estimate), and when a stage has just ended, its time.
    struct Progress
    {
        int stage = 0;
        int stages = 0;
        QString name;
        double done = 0;
        std::optional<qint64> stageMilliseconds; // set once the stage is done
    };
    using Watcher = std::function<void(const Progress &)>;

    // The mark that names a step: "-- step: NAME".
    static QString named(const QString &name);
    // The mark of a statement over every checkout kept.
    static QString overEveryCheckout(const QString &statement);
    // True when the statement (marks included) is run on a database of this kind: a mark
    // statement is never run, RecordsDatabase::onlyOn() limits one to a backend.
    static bool runsOn(RecordsLocation::Kind kind, const QString &statement);

    using Steps = QList<QStringList>; // as RecordsDatabase::Migrations

    SchemaMigration(RecordsDatabase &database, const Steps &steps);

    // What taking the database from version `from` to the program's schema involves; nothing
    // (with the database's errorText()) when the checkouts cannot be counted. On PostgreSQL a
    // migration running elsewhere holds the checkouts: the count then gives up after a moment
    // and says so.
    std::optional<Plan> plan(int from);
    // Runs the pending steps in one transaction (see RecordsDatabase::open()); false with the
    // database's errorText(), nothing of the steps then kept.
    bool run(const Watcher &watcher = {});

private:
    std::optional<Plan> planFrom(int from);
    std::optional<qint64> countCheckouts();
    bool runSteps(int version, const Plan &plan, const Watcher &watcher);

    RecordsDatabase &m_database;
    const Steps &m_migrations;
};
