#pragma once

#include "foundation/String.h"

namespace libOSWindows {

// One plug-and-play device with its registry texts and the interface path it opens under.
struct WindowsDevice {
    WindowsDevice();
    WindowsDevice(const WindowsDevice& other);
    WindowsDevice& operator=(const WindowsDevice& other);
    ~WindowsDevice();

    qel::String enumeratorName; // registry property 22
    qel::String friendlyName;   // registry property 12
    qel::String description;    // registry property 0
    qel::String instanceId;     // how the disks recognise the device
    qel::String devicePath;     // the device interface path
};

} // namespace libOSWindows
