#include "tools/hwsnap/TreeFormat.h"

#include "devicetree/SysInfoDevice.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <string>

namespace hwsnap {
namespace {

using systemmonitor::Device;
using systemmonitor::Property;

nlohmann::ordered_json propertyJson(const Property& property) {
    nlohmann::ordered_json out;
    out["key"] = property.getKey().toUtf8();
    out["type"] = systemmonitor::valueTypeName(property.getValueType());
    const std::string text = property.getValue().toUtf8();
    switch (property.getValueType()) {
    case systemmonitor::STRING:
        out["value"] = text;
        break;
    case systemmonitor::INTEGER: {
        long long value = 0;
        std::from_chars(text.data(), text.data() + text.size(), value);
        out["value"] = value;
        break;
    }
    case systemmonitor::DOUBLE: {
        double value = 0.0;
        const auto* real = dynamic_cast<const systemmonitor::sisapi::SysInfoProperty*>(&property);
        if (real != nullptr) {
            value = real->getRealValue();
        } else {
            std::from_chars(text.data(), text.data() + text.size(), value);
        }
        out["value"] =
            std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
        break;
    }
    }
    return out;
}

nlohmann::ordered_json nodeJson(const Device& node) {
    nlohmann::ordered_json out;
    out["type"] = systemmonitor::deviceTypeName(node.getType());
    out["name"] = node.getLocalizedName().toUtf8();
    out["key"] = node.getKey().toUtf8();
    out["properties"] = nlohmann::ordered_json::array();
    for (const auto& property : node.getProperties()) {
        out["properties"].push_back(propertyJson(*property));
    }
    out["children"] = nlohmann::ordered_json::array();
    for (const auto& child : node.getChildDevices()) {
        out["children"].push_back(nodeJson(*child));
    }
    return out;
}

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
    // Invalid UTF-8 cannot occur (the texts come from UTF-16 with U+FFFD for strays), but a
    // replacement keeps the output well-formed whatever happens.
    return nodeJson(root).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace hwsnap
