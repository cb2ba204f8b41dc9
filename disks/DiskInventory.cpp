#include "disks/DiskInventory.h"

#include "disks/AtaDiskDevice.h"
#include "disks/ScsiDiskDevice.h"
#include "foundation/Stopwatch.h"
#include "libOSWindows/DeviceEnumeration.h"
#include "platform/Hot.h"

namespace systemmonitor {
namespace {

constexpr double kRefreshIntervalSeconds = 5.0;

// The disk (in list order) that belongs to `device`, or null.
DiskDevice* findDisk(qel::Array<DiskHandle>& disks, const libOSWindows::WindowsDevice& device) {
    for (DiskHandle& disk : disks) {
        if (disk.get()->isSameDevice(device)) {
            return disk.get();
        }
    }
    return nullptr;
}

bool hasDevice(const qel::Array<libOSWindows::WindowsDevice>& devices, const DiskDevice& disk) {
    for (const libOSWindows::WindowsDevice& device : devices) {
        if (disk.isSameDevice(device)) {
            return true;
        }
    }
    return false;
}

} // namespace

void refreshDiskList(qel::Array<DiskHandle>& disks) {
    static qel::Array<libOSWindows::WindowsDevice> devices;
    static bool enumerated = false;
    if (!enumerated) {
        libOSWindows::enumerateDiskDevices(devices);
        enumerated = true;
    }

    for (std::uint32_t i = 0; i < disks.size();) {
        if (hasDevice(devices, *disks[i].get())) {
            ++i;
        } else {
            disks.remove(i, 1); // the next disk moves into place i and is examined in turn
        }
    }

    for (const libOSWindows::WindowsDevice& device : devices) {
        if (DiskDevice* known = findDisk(disks, device)) {
            known->refresh(device);
        } else if (device.enumeratorName.compareNoCase("IDE") == 0) {
            disks.append(DiskHandle(new AtaDiskDevice(device)));
        } else if (device.enumeratorName.compareNoCase("SCSI") == 0) {
            disks.append(DiskHandle(new ScsiDiskDevice(device)));
        }
    }
}

SM_HOT void addDiskDevices(NodePointer& parent) {
    static qel::Array<DiskHandle> disks;
    static qel::Stopwatch stopwatch;
    static bool built = false;

    // At exactly the interval the list is still reused; the interval counts from the end of the
    // last refresh.
    if (!built || stopwatch.getElapsed() > kRefreshIntervalSeconds) {
        built = true;
        refreshDiskList(disks);
        stopwatch.reset();
    }
    for (DiskHandle& disk : disks) {
        disk.get()->addDeviceNode(parent);
    }
}

} // namespace systemmonitor
