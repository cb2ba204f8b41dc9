#include "devicetree/GetAllDevices.h"

#include "cpu/ProcessorCollector.h"
#include "devicetree/PropertyAdders.h"
#include "disks/DiskInventory.h"
#include "memory/MemoryCollector.h"
#include "platform/Hot.h"

namespace systemmonitor {

SM_HOT qel::SharedPointer<Device, qel::AutoMutexLockingPolicy> getAllDevices() {
    static const qel::String kName("System Root");
    static const qel::String kKey("SYSROOT");
    NodePointer root = makeNode(SYSTEM_ROOT, kName, kKey);
    collectProcessorDevices(root);
    addDiskDevices(root);
    collectMemoryDevice(root);
    return qel::SharedPointer<Device, qel::AutoMutexLockingPolicy>(root);
}

} // namespace systemmonitor
