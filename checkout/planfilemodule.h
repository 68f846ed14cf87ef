#pragma once

#include "checkout/plantree.h"

#include <QByteArray>

#include <optional>

// The YAML parser of plan files lives in a module of its own, libvorn-planfile.so: yaml-cpp
// sets up the C++ streams and their locales when it is loaded, which a station that reads no
// plan at its start would pay for at every start. A program loads it the first time it reads
// a plan.
namespace PlanFileModule {

struct Parsed
{
    std::optional<PlanNode> root;
    // Why there is no tree: the text is not YAML (where), or the module is not installed.
    PlanParseFailure failure;
    bool moduleMissing = false;
};

Parsed parse(const QByteArray &text);

} // namespace PlanFileModule
