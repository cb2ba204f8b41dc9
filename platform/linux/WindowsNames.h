#pragma once
// Windows' names for a block device: enumerator, bus type, friendly name, device instance
// identifier, disk interface path, and the paths disks and CD-ROM drives open by.

#include "platform/linux/SysBlock.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

std::string_view enumeratorName(StorageBus bus); // "IDE", "SCSI", "USBSTOR", "SD"
std::uint32_t windowsBusType(StorageBus bus);    // STORAGE_BUS_TYPE
std::string friendlyName(const BlockDevice& device);
std::string deviceInstanceId(const BlockDevice& device);
std::string diskInterfacePath(std::string_view instanceId);
// The paths disks and CD-ROM drives open by: "\\.\PhysicalDrive0", "\\.\CdRom0".
std::u16string physicalDrivePath(std::size_t number);
std::u16string cdromPath(std::size_t number);

} // namespace platform
