#pragma once
// For the stress tests: walks a snapshot tree through its public interface and checks that it is
// well formed: every node and property has a key and a known type, every node its locator.

#include "devicetree/Device.h"

#include <cstddef>
#include <string>

namespace stress {

// The number of nodes and properties; `fault` names the first defect found (empty when none).
inline std::size_t walkTree(const systemmonitor::Device& node, std::string& fault) {
    using namespace systemmonitor;
    std::size_t count = 1;
    if (node.getType() < SYSTEM_ROOT || node.getType() > VOLUME || node.getKey().empty() ||
        node.locator().empty()) {
        fault = "malformed node " + node.locator().toUtf8();
    }
    for (const auto& property : node.getProperties()) {
        ++count;
        const ValueType type = property->getValueType();
        if (property->getKey().empty() || (type != STRING && type != INTEGER && type != DOUBLE) ||
            (type != STRING && property->getValue().empty())) {
            fault = "malformed property " + property->locator().toUtf8();
        }
    }
    for (const auto& child : node.getChildDevices()) {
        if (child.get() == nullptr) {
            fault = "null child under " + node.locator().toUtf8();
            continue;
        }
        count += walkTree(*child, fault);
    }
    return count;
}

} // namespace stress
