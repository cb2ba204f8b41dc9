#include "tools/hwsnap/TreeFormat.h"

#include "devicetree/json/SnapshotJson.h"

#include <string>

namespace hwsnap {
namespace {

using systemmonitor::Device;

void appendTree(std::string& out, const Device& node, int depth) {
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    out += indent + node.getLocalizedName().toUtf8() + " [" + node.getKey().toUtf8() + "]\n";
    for (const auto& property : node.getProperties()) {
        out += indent + "  " + property->getKey().toUtf8() + ": " + property->getValue().toUtf8() +
               "\n";
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
