#pragma once
// The present devices of a setup class from the plug-and-play database, with the interface path
// each one opens under.

#include "foundation/Array.h"
#include "foundation/HashTable.h"
#include "foundation/String.h"
#include "libOSWindows/WindowsDevice.h"
#include "platform/Win32.h"

namespace libOSWindows {

// Instance identifier → device interface path.
using InterfacePathTable = qel::HashTable<qel::String, qel::String>;

// The disk drives (GUID_DEVCLASS_DISKDRIVE) with their disk-interface paths, hidden ones left
// out, appended to `devices`.
void enumerateDiskDevices(qel::Array<WindowsDevice>& devices);

// Appends one record per present device of `setupClass`, its path joined from the devices of
// `interfaceClass` by instance identifier. With no setup class the records come from the
// interface listing alone. Never clears `devices`.
void enumerateDevices(qel::Array<WindowsDevice>& devices, const GUID* setupClass,
                      const GUID* interfaceClass, bool includeHidden);

// Walks the devices exposing `interfaceClass` (the first interface of each), filling
// `interfacePaths`; with `devices`, appends a record per device too. The walk ends at the first
// device without an interface of the class.
void collectInterfaceDevices(InterfacePathTable& interfacePaths, const GUID* interfaceClass,
                             qel::Array<WindowsDevice>* devices, bool includeHidden);

// The device's instance identifier, of any length; false (and `id` cleared) when it cannot be read.
bool getDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, qel::String& id);

// A REG_SZ registry property of up to 1023 characters; empty for anything else.
qel::String getDeviceRegistryText(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property);

// The device node of an instance identifier; 0 when not found.
DEVINST locateDeviceNode(const qel::String& instanceId);

// True when the device manager hides the node or it is marked moved; false when its status
// cannot be read.
bool isHiddenOrMoved(DEVINST node);

} // namespace libOSWindows
