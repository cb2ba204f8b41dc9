#pragma once
// Which mounts get drive letters, and which letters. The root file system is C:; the other
// drives follow as D:, E:, ... in mount-table order, one letter per device (the first mount of a
// device wins), then CD-ROM drives with nothing mounted. A and B are never given (floppies).
//
// What gets a letter:
// - the root file system, always, whatever it sits on (a container's overlay is a fixed drive
//   without a disk under it);
// - file systems on a disk of the disk-drive class or on a CD-ROM drive, directly or through
//   device-mapper or md; not those on loop devices (snap packages and disk images would use up
//   the alphabet), zram or other virtual devices;
// - network file systems (network drives) and memory file systems (RAM disks), except those the
//   system mounts for itself under /dev, /proc, /sys and /run;
// - never kernel interface file systems (proc, sysfs, cgroup, devpts, ...).

#include "platform/Win32.h"
#include "platform/linux/MountTable.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class VolumeKind {
    Disk,     // on one or more whole disks of the inventory
    CdRom,    // on a CD-ROM drive
    Network,  // a share of another machine
    RamDisk,  // in memory
    Unbacked, // a local file system without a device the inventory knows (the root only)
};

// How one mount would be lettered; kind is empty for a mount that gets no letter.
struct MountPlacement {
    std::optional<VolumeKind> kind;
    std::string key;                // one letter per key
    std::string blockName;          // the node the file system sits on ("sda1", "dm-0", "sr0")
    std::vector<std::size_t> disks; // disk numbers under it
    std::optional<std::size_t> cdrom;
    std::uint32_t partition = 0;
    bool removable = false;
};

// A lettered placement; its kind is always set (Unbacked for a root on no known device).
struct DriveLetter : MountPlacement {
    char letter = 0;
    std::optional<std::size_t> mount; // index into the mount table; empty for an idle CD-ROM drive

    UINT driveType() const;
};

bool isSystemMountPoint(const std::string& mountPoint);

// `placements` runs parallel to `mounts`. `cdromCount` CD-ROM drives exist; those without a
// lettered mount get letters last.
std::vector<DriveLetter> assignDriveLetters(const std::vector<MountEntry>& mounts,
                                            const std::vector<MountPlacement>& placements,
                                            std::size_t cdromCount);

// The index of the mount that holds `path` (an absolute, normalised Linux path): the one with the
// longest mount point that is a prefix of it, the later one on a tie; empty when none does.
std::optional<std::size_t> mountHolding(const std::vector<MountEntry>& mounts,
                                        const std::string& path);

} // namespace platform
