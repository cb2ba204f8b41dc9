#include "devicetree/GetAllDevices.h"

#include "cpu/ProcessorCollector.h"
#include "devicetree/PropertyAdders.h"
#include "disks/DiskInventory.h"
#include "memory/MemoryCollector.h"

namespace systemmonitor {

qel::SharedPointer<Device, qel::AutoMutexLockingPolicy> getAllDevices() {
    NodePointer root = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
    collectProcessorDevices(root);
    addDiskDevices(root);
    collectMemoryDevice(root);
    return qel::SharedPointer<Device, qel::AutoMutexLockingPolicy>(root);
}

} // namespace systemmonitor
