#pragma once

#include "devicetree/Device.h"

#include <vector>

namespace systemmonitor::sisapi {

class SysInfoProperty : public Property {
public:
    SysInfoProperty(qel::String key, qel::String localizedKey, ValueType type);

    qel::String getKey() const override { return key_; }
    qel::String getLocalizedKey() const override { return localizedKey_; }
    qel::String getValue() const override;
    ValueType getValueType() const override { return type_; }
    qel::String locator() const override { return key_; }

    void setValue(const qel::String& value);
    void setValue(int value);
    void setValue(double value);

    // The typed value, for hosts that need more than text.
    int getIntegerValue() const { return integer_; }
    double getRealValue() const { return real_; }

private:
    qel::String key_;
    qel::String localizedKey_;
    ValueType type_;
    qel::String text_;
    int integer_ = 0;
    double real_ = 0.0;
};

class SysInfoDevice : public Device {
public:
    using Pointer = qel::SharedPointer<SysInfoDevice, qel::AutoMutexLockingPolicy>;
    using PropertyHandle = qel::SharedPointer<SysInfoProperty, qel::AutoMutexLockingPolicy>;

    SysInfoDevice(DeviceType type, const qel::String& localizedName, const qel::String& key);

    DeviceType getType() const override { return type_; }
    qel::String getKey() const override { return key_; }
    qel::String getLocalizedName() const override { return localizedName_; }
    qel::String locator() const override { return key_; }
    qel::Array<DevicePointer> getChildDevices() const override;
    qel::Array<PropertyPointer> getProperties() const override;

    // The node keeps what it is given for its own lifetime.
    void addChildDevice(Pointer child);
    void addProperty(PropertyHandle property);

private:
    DeviceType type_;
    qel::String localizedName_;
    qel::String key_;
    std::vector<Pointer> children_;
    std::vector<PropertyHandle> properties_;
};

} // namespace systemmonitor::sisapi
