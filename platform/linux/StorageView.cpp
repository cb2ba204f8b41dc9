#include "platform/linux/StorageView.h"

#include "platform/linux/SysfsText.h"

#include <algorithm>
#include <system_error>

namespace platform {
namespace fs = std::filesystem;

namespace {

std::optional<std::size_t> indexByName(const std::vector<BlockDevice>& devices,
                                       std::string_view name) {
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].name == name) {
            return i;
        }
    }
    return std::nullopt;
}

bool blockNodeExists(const StorageRoots& roots, const std::string& name) {
    std::error_code error;
    return !name.empty() && fs::exists(roots.sys / "class" / "block" / name, error);
}

std::string relativeTo(const std::string& path, const std::string& directory) {
    if (directory == "/") {
        return path.substr(1);
    }
    if (path.size() <= directory.size()) {
        return {};
    }
    return path.substr(directory.size() + 1);
}

} // namespace

std::optional<std::string> mountBlockName(const StorageRoots& roots, const MountEntry& mount) {
    std::error_code error;
    if (mount.major != 0) {
        const fs::path node = sysfs::resolvedPath(
            roots.sys / "dev" / "block" /
                (std::to_string(mount.major) + ":" + std::to_string(mount.minor)),
            error);
        if (!error) {
            return node.filename().string();
        }
        error.clear();
    }
    if (mount.source.starts_with("/dev/")) {
        // Follow the udev links (/dev/mapper/x -> ../dm-0) by name: the node they end at need not
        // exist under /dev for sysfs to know it.
        fs::path node = roots.dev / mount.source.substr(5);
        for (int hop = 0; hop < 8; ++hop) {
            const fs::path target = fs::read_symlink(node, error);
            if (error) {
                break;
            }
            node = target.is_absolute() ? roots.dev / target.lexically_relative("/dev")
                                        : (node.parent_path() / target).lexically_normal();
        }
        const std::string name = node.filename().string();
        if (blockNodeExists(roots, name)) {
            return name;
        }
    }
    return std::nullopt;
}

namespace {

// A file system on a whole disk or CD-ROM drive the scan read, found by its device number
// without asking sysfs again.
std::optional<MountPlacement> wholeDeviceOf(const BlockInventory& inventory,
                                            const MountEntry& mount) {
    const auto matches = [&](const BlockDevice& device) {
        return mount.major != 0 && device.major == mount.major && device.minor == mount.minor;
    };
    MountPlacement placement;
    for (std::size_t i = 0; i < inventory.disks.size(); ++i) {
        if (matches(inventory.disks[i])) {
            placement.kind = VolumeKind::Disk;
            placement.disks.push_back(i);
            placement.blockName = inventory.disks[i].name;
            placement.removable = inventory.disks[i].removable;
        }
    }
    for (std::size_t i = 0; i < inventory.cdroms.size() && !placement.kind; ++i) {
        if (matches(inventory.cdroms[i])) {
            placement.kind = VolumeKind::CdRom;
            placement.cdrom = i;
            placement.blockName = inventory.cdroms[i].name;
            placement.removable = true;
        }
    }
    if (!placement.kind || placement.disks.size() > 1) {
        return std::nullopt;
    }
    placement.key = "blk:" + placement.blockName;
    return placement;
}

} // namespace

MountPlacement placeMount(const StorageRoots& roots, const BlockInventory& inventory,
                          const MountEntry& mount, bool isRoot) {
    MountPlacement placement;
    const std::string device = std::to_string(mount.major) + ":" + std::to_string(mount.minor);
    switch (classifyFileSystem(mount.fsType)) {
    case FileSystemKind::Pseudo:
        break;
    case FileSystemKind::Network:
        placement.kind = VolumeKind::Network;
        placement.key = "net:" + mount.source;
        return placement;
    case FileSystemKind::Memory:
        if (isRoot || !isSystemMountPoint(mount.mountPoint)) {
            placement.kind = VolumeKind::RamDisk;
            placement.key = "mem:" + device;
        }
        return placement;
    case FileSystemKind::Local:
        if (const auto whole = wholeDeviceOf(inventory, mount)) {
            return *whole;
        }
        if (const auto name = mountBlockName(roots, mount)) {
            const BlockPlacement where = placeBlockDevice(roots.sys, *name);
            for (const auto& whole : where.wholeDevices) {
                if (const auto disk = indexByName(inventory.disks, whole)) {
                    placement.disks.push_back(*disk);
                } else if (const auto cd = indexByName(inventory.cdroms, whole)) {
                    placement.cdrom = cd;
                }
            }
            placement.blockName = *name;
            placement.partition = where.partition;
            placement.key = "blk:" + *name;
            if (!placement.disks.empty()) {
                placement.kind = VolumeKind::Disk;
                placement.removable = inventory.disks[placement.disks.front()].removable;
                return placement;
            }
            if (placement.cdrom) {
                placement.kind = VolumeKind::CdRom;
                placement.removable = true;
                return placement;
            }
        }
        break;
    }
    if (isRoot) {
        MountPlacement unbacked;
        unbacked.kind = VolumeKind::Unbacked;
        unbacked.key = "root";
        return unbacked;
    }
    return MountPlacement{};
}

StorageView StorageView::read(const StorageRoots& roots,
                              std::shared_ptr<const std::vector<MountEntry>> mounts) {
    StorageView view;
    view.roots_ = roots;
    view.inventory_ = scanBlockInventory(roots.sys);
    view.mounts_ = mounts ? std::move(mounts) : MountInfoFile(roots.mountInfo.string()).table();
    view.placements_.reserve(view.mounts_->size());
    for (const auto& mount : *view.mounts_) {
        view.placements_.push_back(
            placeMount(roots, view.inventory_, mount, mount.mountPoint == "/"));
    }
    view.letters_ =
        assignDriveLetters(*view.mounts_, view.placements_, view.inventory_.cdroms.size());
    return view;
}

const DriveLetter* StorageView::findLetter(char16_t letter) const {
    if (letter >= u'a' && letter <= u'z') {
        letter = static_cast<char16_t>(letter - 32);
    }
    for (const auto& drive : letters_) {
        if (drive.letter == letter) {
            return &drive;
        }
    }
    return nullptr;
}

const MountEntry* StorageView::mountOf(const DriveLetter& drive) const {
    return drive.mount && *drive.mount < mounts_->size() ? &(*mounts_)[*drive.mount] : nullptr;
}

std::optional<std::size_t> StorageView::diskNumber(std::string_view name) const {
    return indexByName(inventory_.disks, name);
}

std::optional<std::size_t> StorageView::cdromNumber(std::string_view name) const {
    return indexByName(inventory_.cdroms, name);
}

std::optional<std::string> StorageView::windowsPath(const std::string& linuxPath) const {
    const auto holder = mountHolding(*mounts_, linuxPath);
    if (!holder) {
        return std::nullopt;
    }
    const MountPlacement& placement = placements_[*holder];
    const auto drive = std::find_if(letters_.begin(), letters_.end(), [&](const DriveLetter& d) {
        return placement.kind && d.key == placement.key;
    });
    if (drive == letters_.end() || !drive->mount) {
        return std::nullopt;
    }
    // The path within the file system, then within what the letter's own mount shows of it.
    const MountEntry& mount = (*mounts_)[*holder];
    const MountEntry& lettered = (*mounts_)[*drive->mount];
    std::string inFileSystem = mount.root;
    const std::string rest = relativeTo(linuxPath, mount.mountPoint);
    if (!rest.empty()) {
        inFileSystem += (inFileSystem.ends_with("/") ? "" : "/") + rest;
    }
    const std::string letterRoot = lettered.root;
    if (inFileSystem != letterRoot &&
        !inFileSystem.starts_with(letterRoot == "/" ? "/" : letterRoot + "/")) {
        return std::nullopt;
    }
    std::string within =
        inFileSystem == letterRoot ? std::string() : relativeTo(inFileSystem, letterRoot);
    std::replace(within.begin(), within.end(), '/', '\\');
    return std::string(1, drive->letter) + ":\\" + within;
}

std::optional<fs::path> StorageView::linuxPath(const DriveLetter& drive,
                                               const std::string& rest) const {
    const MountEntry* mount = mountOf(drive);
    if (mount == nullptr) {
        return std::nullopt;
    }
    fs::path path = roots_.files / fs::path(mount->mountPoint).relative_path();
    std::string relative = rest;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    while (!relative.empty() && relative.front() == '/') {
        relative.erase(relative.begin());
    }
    if (!relative.empty()) {
        path /= relative;
    }
    return path;
}

} // namespace platform
