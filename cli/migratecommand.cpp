#include "cli/migratecommand.h"

#include "cli/recordscommand.h"
#include "store/recordsstore.h"

#include <QElapsedTimer>
#include <QIODevice>

#include <cmath>

namespace {

constexpr int BarWidth = 30;

QString seconds(qint64 milliseconds)
{
    return QString::number(double(milliseconds) / 1000.0, 'f', 1) + QStringLiteral(" s");
}

QString stepsText(const SchemaMigration::Plan &plan)
{
    QString text;
    for (qsizetype index = 0; index < plan.stages.size(); ++index) {
        const SchemaMigration::Stage &stage = plan.stages.at(index);
        text += QStringLiteral("  step %1 of %2: %3 (to version %4; %5 statements, %6 over every "
                               "checkout)\n")
                    .arg(index + 1)
                    .arg(plan.stages.size())
                    .arg(stage.name)
                    .arg(stage.version)
                    .arg(stage.statements)
                    .arg(stage.overEveryCheckout);
    }
    return text;
}

} // namespace

MigrateCommand::MigrateCommand(QIODevice &output, QIODevice &error, bool progressBar)
    : m_output(output), m_error(error), m_progressBar(progressBar)
{
}

int MigrateCommand::dryRun(const RecordsLocation &location)
{
    // Read only: the server refuses any write, so a dry run never changes a line's records.
    RecordsStore store(location);
    const bool upToDate = store.open(RecordsStore::OpenMode::ReadOnly);
    const std::optional<SchemaMigration::Plan> &plan = store.database().migration();
    if (upToDate) {
        m_output.write(QStringLiteral("%1 is up to date: nothing to migrate\n")
                           .arg(location.description())
                           .toUtf8());
        return RecordsCommand::Done;
    }
    if (!plan)
        return fail(store.errorText());
    m_output.write(QStringLiteral("%1 would be taken from %2:\n%3%4\n")
                       .arg(location.description(), plan->summary(), stepsText(*plan),
                            plan->isLong() ? QStringLiteral("Stations keep their records in "
                                                            "their outboxes until it is done.")
                                           : QStringLiteral("Short enough for the next "
                                                            "checkout to do on its own."))
                       .toUtf8());
    return RecordsCommand::Done;
}

int MigrateCommand::migrate(const RecordsLocation &location)
{
    RecordsStore store(location);
    store.database().allowLongMigration(
        [this](const SchemaMigration::Progress &progress) { show(progress); });
    QElapsedTimer timer;
    timer.start();
    if (!store.open(RecordsStore::OpenMode::ExistingOnly)) {
        if (m_progressBar)
            m_error.write("\n");
        return fail(store.errorText());
    }
    const std::optional<SchemaMigration::Plan> &plan = store.database().migration();
    if (!plan) {
        m_output.write(QStringLiteral("%1 is up to date: nothing to migrate\n")
                           .arg(location.description())
                           .toUtf8());
        return RecordsCommand::Done;
    }
    m_output.write(QStringLiteral("%1 migrated from schema version %2 to %3 in %4\n")
                       .arg(location.description())
                       .arg(plan->from)
                       .arg(plan->to)
                       .arg(seconds(timer.elapsed()))
                       .toUtf8());
    return RecordsCommand::Done;
}

void MigrateCommand::show(const SchemaMigration::Progress &progress)
{
    const QString step = QStringLiteral("step %1 of %2 (%3)")
                             .arg(progress.stage)
                             .arg(progress.stages)
                             .arg(progress.name);
    if (!m_progressBar) {
        if (progress.stageMilliseconds)
            m_error.write(QStringLiteral("%1 done in %2\n")
                              .arg(step, seconds(*progress.stageMilliseconds))
                              .toUtf8());
        return;
    }
    const int filled = int(std::lround(progress.done * BarWidth));
    m_error.write(
        QStringLiteral("\r[%1%2] %3% %4\033[K")
            .arg(QString(filled, QLatin1Char('#')), QString(BarWidth - filled, QLatin1Char('.')))
            .arg(std::lround(progress.done * 100), 3)
            .arg(step)
            .toUtf8());
    if (progress.stageMilliseconds && progress.stage == progress.stages)
        m_error.write("\n");
}

int MigrateCommand::fail(const QString &message)
{
    m_error.write("vornctl: " + message.toUtf8() + '\n');
    return RecordsCommand::DatabaseFailed;
}
