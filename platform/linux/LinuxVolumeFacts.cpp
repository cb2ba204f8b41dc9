// A drive letter's facts: its type, the disk it lies on, its volume's identity (the file
// system's superblock, else the udev links) and its space (statvfs).

#include "platform/linux/LinuxStorageFacts.h"

#include "platform/Utf.h"
#include "platform/linux/Superblock.h"
#include "platform/linux/SysfsText.h"
#include "platform/linux/WindowsNames.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform {
namespace fs = std::filesystem;
namespace {

constexpr DWORD kErrorUnrecognizedVolume = 1005;
constexpr DWORD kFileCaseSensitiveSearch = 0x1;
constexpr DWORD kFileCasePreservedNames = 0x2;
constexpr DWORD kFileUnicodeOnDisk = 0x4;

struct VolumeIdentity {
    std::string type;
    std::string label;
    std::optional<std::uint32_t> serial;
    DWORD error = ERROR_SUCCESS; // why the serial is unknown
};

// The node a /dev/disk/by-* link points at is the last part of its target ("../../sda1").
std::optional<std::string> linkNamingNode(const fs::path& directory, const std::string& node) {
    for (auto& name : sysfs::directoryNames(directory).value_or(std::vector<std::string>{})) {
        std::error_code error;
        const fs::path target = fs::read_symlink(directory / name, error);
        if (!error && target.filename() == node) {
            return std::move(name);
        }
    }
    return std::nullopt;
}

// The label and serial from the file system's superblock where the node opens, else from the
// udev links. A volume whose serial stays unknown reports why, so that nothing is made up.
VolumeIdentity identifyVolume(const StorageRoots& roots, const std::string& node) {
    VolumeIdentity identity;
    if (node.empty()) {
        identity.error = ERROR_NOT_SUPPORTED; // memory, network and overlay file systems
        return identity;
    }
    const int fd = ::open((roots.dev / node).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        const ByteReader reader = [fd](std::uint64_t offset, std::span<std::uint8_t> out) {
            std::size_t done = 0;
            while (done < out.size()) {
                const ssize_t n = ::pread(fd, out.data() + done, out.size() - done,
                                          static_cast<off_t>(offset + done));
                if (n <= 0) {
                    return false;
                }
                done += static_cast<std::size_t>(n);
            }
            return true;
        };
        const auto found = identifyFileSystem(reader);
        ::close(fd);
        if (found) {
            identity.type = found->type;
            identity.label = found->label;
            identity.serial = found->serial;
        }
        identity.error = kErrorUnrecognizedVolume;
    } else {
        identity.error = errno == ENOMEDIUM ? ERROR_NOT_READY : ERROR_ACCESS_DENIED;
    }
    if (!identity.serial) {
        if (const auto label = linkNamingNode(roots.dev / "disk" / "by-label", node)) {
            identity.label = decodeUdevName(*label);
        }
        if (const auto uuid = linkNamingNode(roots.dev / "disk" / "by-uuid", node)) {
            identity.serial = serialFromUuid(*uuid);
        }
    }
    if (identity.serial) {
        identity.error = ERROR_SUCCESS;
    }
    return identity;
}

DWORD fileSystemFlags(const std::string& type) {
    if (type == "vfat" || type == "msdos" || type == "exfat" || type == "ntfs" || type == "ntfs3" ||
        type == "fuseblk" || type == "iso9660" || type == "udf" || type == "hfsplus") {
        return kFileCasePreservedNames | kFileUnicodeOnDisk;
    }
    return kFileCaseSensitiveSearch | kFileCasePreservedNames;
}

std::optional<std::uint64_t> nodeBytes(const StorageRoots& roots, const std::string& node) {
    const auto sectors =
        readNumberFile<std::uint64_t>(roots.sys / "class" / "block" / node / "size");
    return sectors.value_or(0) == 0 ? std::nullopt : std::optional(*sectors * 512);
}

} // namespace

LetterFacts letterFacts(const StorageRoots& roots, const StorageView& view,
                        const DriveLetter& drive) {
    LetterFacts letter;
    letter.type = drive.driveType();
    letter.network = drive.kind == VolumeKind::Network ? 1 : 0;
    if (drive.disks.size() == 1) {
        letter.deviceNumber = DeviceNumberFacts{
            FILE_DEVICE_DISK, static_cast<std::uint32_t>(drive.disks.front()), drive.partition};
        letter.disk = physicalDrivePath(drive.disks.front());
    } else if (drive.cdrom) {
        // CD-ROM devices have no partitions.
        letter.deviceNumber = DeviceNumberFacts{
            FILE_DEVICE_CD_ROM, static_cast<std::uint32_t>(*drive.cdrom), 0xFFFFFFFFu};
        letter.disk = cdromPath(*drive.cdrom);
    }
    const auto& inventory = view.inventory();
    const BlockDevice* whole = drive.disks.size() == 1 ? &inventory.disks[drive.disks.front()]
                               : drive.cdrom           ? &inventory.cdroms[*drive.cdrom]
                                                       : nullptr;
    if (whole != nullptr && whole->name == drive.blockName) {
        // A file system on the whole device: its size is the one the scan read.
        if (whole->sectors > 0) {
            letter.length = whole->sectors * 512;
        }
    } else if (!drive.blockName.empty()) {
        letter.length = nodeBytes(roots, drive.blockName);
    }
    const MountEntry* mount = view.mountOf(drive);
    const auto path = view.linuxPath(drive, "");
    if (mount == nullptr || !path) {
        return letter; // a CD-ROM drive without a medium
    }
    struct statvfs stats {};
    const bool statted = ::statvfs(path->c_str(), &stats) == 0;
    if (statted) {
        const std::uint64_t unit = stats.f_frsize != 0 ? stats.f_frsize : stats.f_bsize;
        letter.space =
            SpaceFacts{std::uint64_t{stats.f_blocks} * unit, std::uint64_t{stats.f_bfree} * unit,
                       std::uint64_t{stats.f_bavail} * unit};
    } else {
        letter.spaceError = errorFromErrno(errno);
    }
    const VolumeIdentity identity = identifyVolume(roots, drive.blockName);
    if (identity.error != ERROR_SUCCESS) {
        letter.volumeError = identity.error;
        return letter;
    }
    std::string type = mount->fsType;
    if (type == "fuseblk" && !identity.type.empty()) {
        type = identity.type; // the FUSE driver hides the real file system
    }
    VolumeFacts volume;
    volume.label = utf8ToUtf16(identity.label);
    volume.serial = identity.serial.value_or(0);
    volume.fileSystem = utf8ToUtf16(type);
    volume.flags = fileSystemFlags(type) | (isReadOnlyMount(*mount) ? FILE_READ_ONLY_VOLUME : 0);
    if (statted && stats.f_namemax > 0) {
        volume.maxComponentLength = static_cast<std::uint32_t>(stats.f_namemax);
    }
    letter.volume = std::move(volume);
    return letter;
}

} // namespace platform
