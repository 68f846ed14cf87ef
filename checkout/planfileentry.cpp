// The entry point of libvorn-planfile.so (checkout/planfilemodule.h): YAML read with yaml-cpp.
#include "checkout/plantree.h"

#include <yaml-cpp/yaml.h>

namespace {

PlanNode treeOf(const YAML::Node &node)
{
    PlanNode tree;
    tree.mark = {node.Mark().line, node.Mark().column};
    switch (node.Type()) {
    case YAML::NodeType::Scalar:
        tree.kind = PlanNode::Kind::Scalar;
        tree.scalar = node.Scalar();
        break;
    case YAML::NodeType::Sequence:
        tree.kind = PlanNode::Kind::Sequence;
        for (const YAML::Node &item : node)
            tree.items.push_back(treeOf(item));
        break;
    case YAML::NodeType::Map:
        tree.kind = PlanNode::Kind::Map;
        for (auto entry = node.begin(); entry != node.end(); ++entry) {
            tree.keys.push_back(treeOf(entry->first));
            tree.items.push_back(treeOf(entry->second));
        }
        break;
    case YAML::NodeType::Null:
    case YAML::NodeType::Undefined:
        break;
    }
    return tree;
}

} // namespace

extern "C" __attribute__((visibility("default"))) bool
vornPlanFileParse(const char *text, std::size_t size, PlanNode *root, PlanParseFailure *failure)
{
    try {
        *root = treeOf(YAML::Load(std::string(text, size)));
        return true;
    } catch (const YAML::Exception &exception) {
        *failure = {exception.msg, {exception.mark.line, exception.mark.column}};
    } catch (const std::exception &exception) {
        *failure = {exception.what(), {}};
    }
    return false;
}
