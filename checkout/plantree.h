#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A plan file's YAML as a tree, each node with its place in the file: what the plan file module
// (libvorn-planfile.so, planfilemodule.h) gives the plan reader. Plain C++ without Qt, so that
// the module holds nothing but the YAML parser.

// A place in the file, lines and columns counted from 0; -1 where a node has none (the
// document of an empty file).
struct PlanMark
{
    int line = -1;
    int column = -1;
};

struct PlanNode
{
    enum class Kind
    {
        Null,
        Scalar,
        Sequence,
        Map
    };

    Kind kind = Kind::Null;
    PlanMark mark;
    std::string scalar;
    // A sequence's items; a map's values, each under the key of the same index in keys, in the
    // file's order (a key given twice is there twice).
    std::vector<PlanNode> items;
    std::vector<PlanNode> keys;

    bool isScalar() const { return kind == Kind::Scalar; }
    bool isSequence() const { return kind == Kind::Sequence; }
    bool isMap() const { return kind == Kind::Map; }
};

// Why a text could not be read as YAML, and where.
struct PlanParseFailure
{
    std::string what;
    PlanMark mark;
};

// The module's one entry point, found by this name: the tree of size bytes of text, or false
// with the failure.
extern "C" {
using PlanFileParser = bool (*)(const char *text, std::size_t size, PlanNode *root,
                                PlanParseFailure *failure);
}
inline constexpr char PlanFileParserName[] = "vornPlanFileParse";
