#pragma once
// A disk's /dev node as the emulator's device channel: SCSI commands through SG_IO, ATA commands
// through SAT on SG_IO, the geometry the driver reports. The node is opened on first need and
// kept; a node that does not open (an unprivileged user, a sandbox) leaves the answers to the
// facts sysfs gives, except for commands only the device can answer.

#include "platform/StorageFacts.h"
#include "platform/linux/SysBlock.h"

#include <filesystem>
#include <mutex>

namespace platform {

class LinuxDevice final : public DeviceChannel {
public:
    LinuxDevice(std::filesystem::path node, BlockDevice device);
    ~LinuxDevice() override;
    LinuxDevice(const LinuxDevice&) = delete;
    LinuxDevice& operator=(const LinuxDevice&) = delete;

    Outcome<ScsiAnswer> scsi(std::span<const std::uint8_t> cdb, DataDirection direction,
                             std::span<std::uint8_t> data, unsigned timeoutSeconds) override;
    Outcome<AtaReply> ata(const AtaTaskFile& registers, DataDirection direction,
                          std::span<std::uint8_t> data, unsigned timeoutSeconds) override;
    void refineGeometry(GeometryFacts& geometry) override;

private:
    int descriptor(); // -1 when the node does not open

    std::filesystem::path node_;
    BlockDevice device_;
    std::mutex mutex_;
    bool openTried_ = false;
    int fd_ = -1;
};

// The Win32 error for an errno of the device calls.
DWORD errorFromErrno(int error);

} // namespace platform
