#pragma once

#include "store/schemamigration.h"

#include <QString>

class QIODevice;
struct RecordsLocation;

// `vornctl records migrate [--dry-run]`: brings a line's records to this version's schema, the
// long steps included that a station or a checkout leaves for someone to start, telling how
// far it got (a bar on a terminal, a line per step otherwise); or, with --dry-run, what it
// would do and about how long it would take, without writing anything. The exit codes are
// those of the records commands.
class MigrateCommand
{
public:
    // progressBar: standard error is a terminal, where a bar is redrawn in place.
    MigrateCommand(QIODevice &output, QIODevice &error, bool progressBar);

    int migrate(const RecordsLocation &location);
    int dryRun(const RecordsLocation &location);

private:
    void show(const SchemaMigration::Progress &progress);
    int fail(const QString &message);

    QIODevice &m_output;
    QIODevice &m_error;
    bool m_progressBar;
};
