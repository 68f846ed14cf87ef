#include "checkout/planlibrary.h"

#include "checkout/planreader.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QStandardPaths>

namespace {

const QStringList Extensions{QStringLiteral("yaml"), QStringLiteral("yml")};

// Name to file of the plans of every folder, the first folder's winning.
QMap<QString, QString> installed()
{
    QMap<QString, QString> files;
    for (const QString &folder : PlanLibrary::folders()) {
        const QFileInfoList entries =
            QDir(folder).entryInfoList({QStringLiteral("*.yaml"), QStringLiteral("*.yml")},
                                       QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo &entry : entries) {
            if (!files.contains(entry.completeBaseName()))
                files.insert(entry.completeBaseName(), entry.filePath());
        }
    }
    return files;
}

} // namespace

QStringList PlanLibrary::folders()
{
    return {QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                QStringLiteral("/vorn-tool/plans"),
            QStringLiteral("/etc/vorn-tool/plans")};
}

std::optional<CheckoutPlan> PlanLibrary::load(const QString &argument, QString *error)
{
    if (argument.contains(QLatin1Char('/')) || PlanReader::hasPlanExtension(argument))
        return PlanReader::readFile(argument, error);
    const QString file = installed().value(argument);
    if (file.isEmpty()) {
        if (error)
            *error = QStringLiteral("no plan named '%1' in %2")
                         .arg(argument, folders().join(QStringLiteral(" or ")));
        return std::nullopt;
    }
    std::optional<CheckoutPlan> plan = PlanReader::readFile(file, error);
    if (plan && plan->options.plan.name != argument) {
        if (error)
            *error = QStringLiteral("%1:1:1: the file of plan '%2' names the plan '%3'")
                         .arg(file, argument, plan->options.plan.name);
        return std::nullopt;
    }
    return plan;
}

QStringList PlanLibrary::installedFiles()
{
    return installed().values();
}

QStringList PlanLibrary::installedNames()
{
    return installed().keys();
}
