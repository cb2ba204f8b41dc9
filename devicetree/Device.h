#pragma once
// The node and property model a host walks: every node is a Device with typed Properties.

#include "foundation/Array.h"
#include "foundation/SharedPointer.h"
#include "foundation/String.h"

namespace systemmonitor {

enum DeviceType {
    SYSTEM_ROOT = 1,
    SYSTEM_MEMORY = 2,
    SYSTEM_CPU = 3,
    CPU_PACKAGE = 4,
    CPU_CORE = 5,
    DISK = 6,
    VOLUME = 7,
};

enum ValueType {
    STRING = 0,
    INTEGER = 1,
    DOUBLE = 2,
};

class Property {
public:
    virtual ~Property() = default;
    virtual qel::String getKey() const = 0;
    virtual qel::String getLocalizedKey() const = 0;
    // The value as text: an integer in decimal, a real in its shortest round-trip form.
    virtual qel::String getValue() const = 0;
    virtual ValueType getValueType() const = 0;
    // Where the property sits in its tree.
    virtual qel::String locator() const = 0;
};

class Device {
public:
    using DevicePointer = qel::SharedPointer<Device, qel::AutoMutexLockingPolicy>;
    using PropertyPointer = qel::SharedPointer<Property, qel::AutoMutexLockingPolicy>;

    virtual ~Device() = default;
    virtual DeviceType getType() const = 0;
    virtual qel::String getKey() const = 0;
    virtual qel::String getLocalizedName() const = 0;
    // Where the node sits in its tree.
    virtual qel::String locator() const = 0;
    virtual qel::Array<DevicePointer> getChildDevices() const = 0;
    virtual qel::Array<PropertyPointer> getProperties() const = 0;
};

const char* deviceTypeName(DeviceType type);
const char* valueTypeName(ValueType type);

} // namespace systemmonitor
