#pragma once
// For tests: a device subtree as text, one node a line, indented by depth: type, "name", key,
// then key=value for each property in order.

#include "devicetree/Device.h"

#include <string>

namespace systemmonitor::test {

inline void describeNode(const Device& node, int depth, std::string& out) {
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += deviceTypeName(node.getType());
    out += " \"" + node.getLocalizedName().toUtf8() + "\" " + node.getKey().toUtf8();
    for (const auto& property : node.getProperties()) {
        out += " " + property->getKey().toUtf8() + "=" + property->getValue().toUtf8();
    }
    out += "\n";
    for (const auto& child : node.getChildDevices()) {
        describeNode(*child, depth + 1, out);
    }
}

inline std::string describeTree(const Device& node) {
    std::string out;
    describeNode(node, 0, out);
    return out;
}

} // namespace systemmonitor::test
