#pragma once
// The process-wide list of disks. The plug-and-play device list is taken once, on the first
// refresh, so the set of disks is that of the first call; temperatures and volume figures are
// re-read at most once per 5.0 seconds of the stopwatch.

#include "devicetree/PropertyAdders.h"
#include "disks/DiskDevice.h"
#include "foundation/Array.h"
#include "foundation/SharedResource.h"

namespace systemmonitor {

using DiskHandle = qel::SharedResource<qel::PointerStorage<DiskDevice, 0, 3>, 0>;

// Refreshes the list when it is stale, then attaches one node per disk to `parent`, in list
// order. Calls must not overlap.
void addDiskDevices(NodePointer& parent);

// Reconciles `disks` with the plug-and-play device list: drops disks without a device, refreshes
// known ones, and appends new IDE or SCSI disks.
void refreshDiskList(qel::Array<DiskHandle>& disks);

} // namespace systemmonitor
