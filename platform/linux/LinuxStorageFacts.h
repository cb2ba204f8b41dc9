#pragma once
// The live Linux machine's storage as facts for the emulator: the disks and CD-ROM drives of
// sysfs (scan, SysBlock.h), the mount table and drive letters (StorageView.h), superblocks and
// statvfs for the volumes, hwmon for temperatures; each disk with its /dev node as the device
// channel (LinuxDevice.h). One reading serves every call for `maxAgeSeconds`, so a refresh of
// the library reads each file once; device channels, with their open nodes, are kept across
// readings while the device stays the same.

#include "platform/StorageFacts.h"
#include "platform/linux/LinuxDevice.h"
#include "platform/linux/StorageView.h"

#include <map>
#include <mutex>
#include <tuple>

namespace platform {

class LinuxStorageFacts {
public:
    explicit LinuxStorageFacts(StorageRoots roots = {}, double maxAgeSeconds = 0.0);

    std::shared_ptr<const StorageFacts> facts();

private:
    std::shared_ptr<const StorageFacts> read();
    std::shared_ptr<DeviceChannel> channelFor(const BlockDevice& device);

    StorageRoots roots_;
    double maxAge_;
    std::mutex mutex_;
    std::shared_ptr<const StorageFacts> current_;
    MountInfoFile mountInfo_;
    std::optional<std::filesystem::path> program_; // the running program's Linux path
    double readAt_ = 0.0;
    // By name, device number and size: a new medium or another disk gets a fresh channel.
    using DeviceKey = std::tuple<std::string, unsigned, unsigned, std::uint64_t>;
    std::map<DeviceKey, std::shared_ptr<LinuxDevice>> channels_;
};

// What a disk's or CD-ROM drive's handle answers without the device (LinuxDiskFacts.cpp).
DiskFacts diskFacts(const BlockDevice& device, const DeviceNumberFacts& number);
// A drive letter's facts (LinuxVolumeFacts.cpp).
LetterFacts letterFacts(const StorageRoots& roots, const StorageView& view,
                        const DriveLetter& drive);
// A disk's plug-and-play record: instance id, interface path, registry properties, node.
DeviceFacts deviceFacts(const BlockDevice& disk);

} // namespace platform
