#include "devicetree/SysInfoDevice.h"

#include "platform/Hot.h"

#include <charconv>
#include <string>

namespace systemmonitor::sisapi {

SM_HOT SysInfoProperty::SysInfoProperty(qel::String key, qel::String localizedKey, ValueType type)
    : key_(std::move(key)), localizedKey_(std::move(localizedKey)), type_(type) {}

qel::String SysInfoProperty::getValue() const {
    switch (type_) {
    case STRING:
        return text_;
    case INTEGER:
        return qel::String(std::to_string(integer_).c_str());
    case DOUBLE: {
        char buffer[64];
        const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, real_);
        return qel::String(std::string(buffer, error == std::errc{} ? end : buffer).c_str());
    }
    }
    return qel::String();
}

SM_HOT void SysInfoProperty::setValue(const qel::String& value) {
    text_ = value;
}

SM_HOT void SysInfoProperty::setValue(int value) {
    integer_ = value;
}

SM_HOT void SysInfoProperty::setValue(double value) {
    real_ = value;
}

namespace {

// The most properties a node of each type gets, so that adding them never reallocates the list
// (which would copy every handle, each copy taking its mutex).
std::size_t propertiesOf(DeviceType type) {
    switch (type) {
    case CPU_PACKAGE:
        return 14;
    case DISK:
    case VOLUME:
        return 6;
    case SYSTEM_MEMORY:
    case CPU_CORE:
        return 3;
    default:
        return 0;
    }
}

} // namespace

SM_HOT SysInfoDevice::SysInfoDevice(DeviceType type, const qel::String& localizedName,
                                    const qel::String& key)
    : type_(type), localizedName_(localizedName), key_(key) {
    properties_.reserve(propertiesOf(type));
}

qel::Array<Device::DevicePointer> SysInfoDevice::getChildDevices() const {
    qel::Array<DevicePointer> result;
    result.reserve(static_cast<std::uint32_t>(children_.size()));
    for (const Pointer& child : children_) {
        result.append(DevicePointer(child));
    }
    return result;
}

qel::Array<Device::PropertyPointer> SysInfoDevice::getProperties() const {
    qel::Array<PropertyPointer> result;
    result.reserve(static_cast<std::uint32_t>(properties_.size()));
    for (const PropertyHandle& property : properties_) {
        result.append(PropertyPointer(property));
    }
    return result;
}

SM_HOT void SysInfoDevice::addChildDevice(Pointer child) {
    children_.push_back(std::move(child));
}

SM_HOT void SysInfoDevice::addProperty(PropertyHandle property) {
    properties_.push_back(std::move(property));
}

} // namespace systemmonitor::sisapi
