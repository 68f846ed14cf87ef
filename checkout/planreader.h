#pragma once

#include "checkout/checkoutplan.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Reads a plan file (YAML) and checks all of it before any reader is touched: unknown keys,
// keys given twice, unknown steps and measurements, limits of the wrong kind, out of order or
// that the reader sets itself, programming values the model cannot take. A refusal names the
// first problem as "FILE:LINE:COLUMN: what is wrong".
class PlanReader
{
public:
    // The plan files' extensions: a --plan argument ending so is a file, not a name.
    static bool hasPlanExtension(const QString &path);

    static std::optional<CheckoutPlan> readFile(const QString &path, QString *error);
    // fileName is the name the refusals give.
    static std::optional<CheckoutPlan> read(const QByteArray &text, const QString &fileName,
                                            QString *error);
};
