#include "platform/linux/LinuxDevice.h"

#include "platform/linux/SgIo.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr DWORD kErrorPathNotFound = 3;
constexpr DWORD kErrorIoDevice = 1117;

bool isAtaBus(StorageBus bus) {
    return bus == StorageBus::Sata || bus == StorageBus::Pata;
}

} // namespace

DWORD errorFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return kErrorPathNotFound;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case ENOMEDIUM:
        return ERROR_NOT_READY;
    case ENOTTY:
    case ENOSYS:
    case EOPNOTSUPP:
        return ERROR_INVALID_FUNCTION;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return kErrorIoDevice;
    }
}

LinuxDevice::LinuxDevice(std::filesystem::path node, BlockDevice device)
    : node_(std::move(node)), device_(std::move(device)) {}

LinuxDevice::~LinuxDevice() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

int LinuxDevice::descriptor() {
    std::lock_guard lock(mutex_);
    if (!openTried_) {
        openTried_ = true;
        fd_ = ::open(node_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    return fd_;
}

LinuxDevice::Outcome<ScsiAnswer> LinuxDevice::scsi(std::span<const std::uint8_t> cdb,
                                                   DataDirection direction,
                                                   std::span<std::uint8_t> data,
                                                   unsigned timeoutSeconds) {
    using Kind = Outcome<ScsiAnswer>::Kind;
    Outcome<ScsiAnswer> outcome;
    const bool fromFacts = isSynthesizedScsiCommand(cdb[0]);
    const int fd = descriptor();
    if (fd < 0) {
        // Without the device only what the identification facts tell is answered.
        if (!fromFacts) {
            outcome.kind = Kind::Failed;
            outcome.error = ERROR_ACCESS_DENIED;
        }
        return outcome;
    }
    SgResult result = sendScsiCommand(fd, cdb, direction, data, timeoutSeconds);
    if (result.error == 0) {
        if (result.transportFailed) {
            outcome.kind = Kind::Failed;
            outcome.error = kErrorIoDevice;
            return outcome;
        }
        outcome.kind = Kind::Answered;
        outcome.answer.status = result.status;
        outcome.answer.sense = std::move(result.sense);
        const std::size_t moved = std::min(result.transferred, data.size());
        outcome.answer.data.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(moved));
        return outcome;
    }
    // A device without a SCSI layer (virtio, NVMe) is answered from the facts, which refuse
    // what they do not know; one that has it failed the command.
    const bool speaksScsi =
        result.error != ENOTTY && result.error != ENOSYS && result.error != EOPNOTSUPP;
    if (speaksScsi && !fromFacts) {
        outcome.kind = Kind::Failed;
        outcome.error = errorFromErrno(result.error);
    }
    return outcome;
}

LinuxDevice::Outcome<DeviceChannel::AtaReply> LinuxDevice::ata(const AtaTaskFile& registers,
                                                               DataDirection direction,
                                                               std::span<std::uint8_t> data,
                                                               unsigned timeoutSeconds) {
    using Kind = Outcome<AtaReply>::Kind;
    Outcome<AtaReply> outcome;
    bool deviceRefused = false;
    if (const int fd = descriptor(); fd >= 0) {
        const auto cdb = ataPassThroughCdb(registers, direction, data.size());
        SgResult result = sendScsiCommand(fd, cdb, direction, data, timeoutSeconds);
        if (result.error == 0 && !result.transportFailed) {
            AtaTaskFile after = registers;
            if (decodeAtaReturn(result.sense, after) || result.status == kScsiGood) {
                if (result.status == kScsiGood && result.sense.empty()) {
                    after.features = 0;
                    after.command = kAtaStatusReady;
                }
                outcome.kind = Kind::Answered;
                outcome.answer.registers = after;
                const std::size_t moved = std::min(result.transferred, data.size());
                outcome.answer.data.assign(data.begin(),
                                           data.begin() + static_cast<std::ptrdiff_t>(moved));
                return outcome;
            }
            deviceRefused = true; // the translation layer does not pass ATA commands
        } else if (result.error == EACCES || result.error == EPERM) {
            outcome.kind = Kind::Failed;
            outcome.error = ERROR_ACCESS_DENIED;
            return outcome;
        }
    }
    if (!isAtaBus(device_.bus)) {
        outcome.kind = Kind::Failed;
        outcome.error = ERROR_INVALID_FUNCTION; // not an ATA device
        return outcome;
    }
    if (deviceRefused) {
        outcome.kind = Kind::Answered;
        outcome.answer.registers = registers;
        outcome.answer.registers.features = kAtaErrorAbort;
        outcome.answer.registers.command = kAtaStatusReady | kAtaStatusError;
        return outcome;
    }
    // Without the device only IDENTIFY is answered, from what libata recorded or sysfs texts.
    if (registers.command != kAtaIdentifyDevice || direction != DataDirection::In) {
        outcome.kind = Kind::Failed;
        outcome.error = ERROR_ACCESS_DENIED;
    }
    return outcome;
}

void LinuxDevice::refineGeometry(GeometryFacts& geometry) {
    if (device_.cdrom) {
        return;
    }
    const int fd = descriptor();
    hd_geometry reported{};
    if (fd < 0 || ::ioctl(fd, HDIO_GETGEO, &reported) != 0 || reported.heads == 0 ||
        reported.sectors == 0) {
        return;
    }
    geometry.tracksPerCylinder = reported.heads;
    geometry.sectorsPerTrack = reported.sectors;
    geometry.cylinders =
        device_.sectors * 512 /
        (std::uint64_t{reported.heads} * reported.sectors * geometry.bytesPerSector);
}

} // namespace platform
