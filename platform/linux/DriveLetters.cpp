#include "platform/linux/DriveLetters.h"

#include <algorithm>
#include <set>

namespace platform {
namespace {

bool isUnder(const std::string& path, const std::string& directory) {
    if (directory == "/") {
        return path.starts_with("/");
    }
    return path == directory || (path.starts_with(directory) && path.size() > directory.size() &&
                                 path[directory.size()] == '/');
}

// A mount hidden by a later mount on the same point cannot be reached.
bool isShadowed(const std::vector<MountEntry>& mounts, std::size_t index) {
    for (std::size_t later = index + 1; later < mounts.size(); ++later) {
        if (mounts[later].mountPoint == mounts[index].mountPoint) {
            return true;
        }
    }
    return false;
}

DriveLetter letterFor(char letter, std::size_t mount, const MountPlacement& placement) {
    DriveLetter drive{placement, letter, mount};
    drive.kind = placement.kind.value_or(VolumeKind::Unbacked);
    return drive;
}

} // namespace

UINT DriveLetter::driveType() const {
    switch (kind.value_or(VolumeKind::Unbacked)) {
    case VolumeKind::Disk:
        return removable ? DRIVE_REMOVABLE : DRIVE_FIXED;
    case VolumeKind::CdRom:
        return DRIVE_CDROM;
    case VolumeKind::Network:
        return DRIVE_REMOTE;
    case VolumeKind::RamDisk:
        return DRIVE_RAMDISK;
    case VolumeKind::Unbacked:
        break;
    }
    return DRIVE_FIXED;
}

bool isSystemMountPoint(const std::string& mountPoint) {
    return isUnder(mountPoint, "/dev") || isUnder(mountPoint, "/proc") ||
           isUnder(mountPoint, "/sys") || isUnder(mountPoint, "/run");
}

std::vector<DriveLetter> assignDriveLetters(const std::vector<MountEntry>& mounts,
                                            const std::vector<MountPlacement>& placements,
                                            std::size_t cdromCount) {
    std::vector<DriveLetter> letters;
    std::set<std::string> usedKeys;
    std::set<std::size_t> letteredCdroms;
    const auto take = [&](const DriveLetter& drive) {
        usedKeys.insert(drive.key);
        if (drive.cdrom) {
            letteredCdroms.insert(*drive.cdrom);
        }
        letters.push_back(drive);
    };

    std::optional<std::size_t> root;
    for (std::size_t i = 0; i < mounts.size() && i < placements.size(); ++i) {
        if (mounts[i].mountPoint == "/") {
            root = i;
        }
    }
    if (root) {
        take(letterFor('C', *root, placements[*root]));
    }
    char next = 'D';
    for (std::size_t i = 0; i < mounts.size() && i < placements.size() && next <= 'Z'; ++i) {
        const MountPlacement& placement = placements[i];
        if (i == root || !placement.kind || usedKeys.contains(placement.key) ||
            isShadowed(mounts, i)) {
            continue;
        }
        take(letterFor(next++, i, placement));
    }
    for (std::size_t cd = 0; cd < cdromCount && next <= 'Z'; ++cd) {
        if (letteredCdroms.contains(cd)) {
            continue;
        }
        DriveLetter drive;
        drive.letter = next++;
        drive.kind = VolumeKind::CdRom;
        drive.key = "cdrom:" + std::to_string(cd);
        drive.cdrom = cd;
        drive.removable = true;
        take(drive);
    }
    return letters;
}

std::optional<std::size_t> mountHolding(const std::vector<MountEntry>& mounts,
                                        const std::string& path) {
    std::optional<std::size_t> best;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < mounts.size(); ++i) {
        const std::string& point = mounts[i].mountPoint;
        if (isUnder(path, point) && (!best || point.size() >= bestLength)) {
            best = i;
            bestLength = point.size();
        }
    }
    return best;
}

} // namespace platform
