#pragma once
// The only way a property is made: the key serves as key and localized key.

#include "devicetree/SysInfoDevice.h"

namespace systemmonitor {

using NodePointer = sisapi::SysInfoDevice::Pointer;

// Adds nothing when `value` is empty.
void addTextProperty(NodePointer& node, const qel::String& key, const qel::String& value);
void addIntegerProperty(NodePointer& node, const qel::String& key, int value);
void addRealProperty(NodePointer& node, const qel::String& key, double value);

// A new node owned by a fresh handle (count 1).
NodePointer makeNode(DeviceType type, const qel::String& localizedName, const qel::String& key);

} // namespace systemmonitor
