#pragma once
// The library's entry: one snapshot of the machine as a tree of nodes.

#include "devicetree/Device.h"

namespace systemmonitor {

// The root "System Root" with the processor, disk and memory nodes below it. The returned handle
// is the only reference to the tree. Calls must not overlap: the host serialises them.
qel::SharedPointer<Device, qel::AutoMutexLockingPolicy> getAllDevices();

} // namespace systemmonitor
