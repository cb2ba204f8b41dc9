#include "tools/hwsnap/TreeFormat.h"

#include "devicetree/json/SnapshotJson.h"

#include <string>

namespace hwsnap {
namespace {

using systemmonitor::Device;
using systemmonitor::json::appendUtf8;

void appendTree(std::string& out, const Device& node, std::size_t depth) {
    const std::size_t indent = depth * 2;
    out.append(indent, ' ');
    appendUtf8(out, node.getLocalizedName().u16());
    out += " [";
    appendUtf8(out, node.getKey().u16());
    out += "]\n";
    for (const auto& property : node.getProperties()) {
        out.append(indent + 2, ' ');
        appendUtf8(out, property->getKey().u16());
        out += ": ";
        appendUtf8(out, property->getValue().u16());
        out += '\n';
    }
    for (const auto& child : node.getChildDevices()) {
        appendTree(out, *child, depth + 1);
    }
}

} // namespace

std::string formatTree(const Device& root) {
    std::string out;
    appendTree(out, root, 0);
    return out;
}

std::string formatJson(const Device& root) {
    return systemmonitor::json::snapshotJson(root);
}

} // namespace hwsnap
