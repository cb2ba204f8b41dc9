#pragma once
// A simulated disk's facts in the shapes the shared answers take: the storage device descriptor,
// and the drive facts the ATA and SCSI commands are answered from (platform/DriveAnswers.h).

#include "platform/DriveAnswers.h"
#include "platform/simulated/Machine.h"

#include <cstdint>
#include <vector>

namespace platform::simulated {

using Bytes = std::vector<std::uint8_t>;

// STORAGE_DEVICE_DESCRIPTOR: the 40-byte fixed part, then each text that is there as a
// zero-terminated string (vendor, product, revision, serial); a missing text has offset 0. A
// recorded descriptor is answered as it stands.
Bytes storageDeviceDescriptor(const DescriptorState& descriptor);

// What the disk's ATA and SCSI sections say, for the shared command answers.
DriveFacts driveFacts(const DiskState& disk);

} // namespace platform::simulated
