#pragma once

#include "checkout/checkoutplan.h"

#include <QString>
#include <QStringList>

#include <optional>

// Where plans are kept and how a --plan argument finds one. A plan named NAME is the file
// NAME.yaml (or NAME.yml) in ~/.config/vorn-tool/plans/ or else /etc/vorn-tool/plans/, the
// user's folder first; an argument with a '/' or a plan file's extension is a file.
class PlanLibrary
{
public:
    // The folders searched, first wins.
    static QStringList folders();
    // The plan the argument names, read and checked; the refusal in error.
    static std::optional<CheckoutPlan> load(const QString &argument, QString *error);
    // The file of every installed plan, one per name, the first folder's winning, by name.
    static QStringList installedFiles();
    // The names of the installed plans, sorted.
    static QStringList installedNames();
};
