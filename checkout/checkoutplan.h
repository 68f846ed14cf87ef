#pragma once

#include "checkout/checkoutoptions.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// A product's test plan as read from its file: what is checked, against which limits, and what
// is programmed, with its identity (name, revision and the SHA-256 of its canonical form: the
// plan as parsed, compact JSON with sorted keys and nothing added, so that comments, spacing
// and key order do not change it).
struct CheckoutPlan
{
    QString path; // the file it was read from
    QString description;
    QJsonObject canonical;
    CheckoutOptions options;    // the plan as the checkout takes it, options.plan its identity
    std::optional<bool> prompt; // whether the operator is asked; nothing: the front end decides
    // What in the plan works but checks nothing, as "FILE:LINE:COLUMN: warning: ...".
    QStringList warnings;

    // The identity of a plan with this canonical form.
    static PlanIdentity identity(const QJsonObject &canonical);
    // The unnamed plan a command line makes of its options ("command-line"), so that a record
    // made without a plan still says where its limits came from.
    static PlanIdentity commandLineIdentity(const CheckoutOptions &options);

    // The effective plan for people: every step in order with its title and every measurement
    // with its unit and the limit in force (defaults included, fixed limits in words).
    QString showText() const;
};
