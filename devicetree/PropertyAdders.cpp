#include "devicetree/PropertyAdders.h"

#include "platform/Hot.h"

namespace systemmonitor {
namespace {

template <typename Value>
void addProperty(NodePointer& node, const qel::String& key, ValueType type, const Value& value) {
    auto property = sisapi::SysInfoDevice::PropertyHandle::make(key, key, type);
    property->setValue(value);
    node->addProperty(property);
}

} // namespace

SM_HOT void addTextProperty(NodePointer& node, const qel::String& key, const qel::String& value) {
    if (value.size() == 0) {
        return;
    }
    addProperty(node, key, STRING, value);
}

SM_HOT void addIntegerProperty(NodePointer& node, const qel::String& key, int value) {
    addProperty(node, key, INTEGER, value);
}

SM_HOT void addRealProperty(NodePointer& node, const qel::String& key, double value) {
    addProperty(node, key, DOUBLE, value);
}

SM_HOT NodePointer makeNode(DeviceType type, const qel::String& localizedName,
                            const qel::String& key) {
    return NodePointer::make(type, localizedName, key);
}

} // namespace systemmonitor
