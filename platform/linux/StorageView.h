#pragma once
// One consistent reading of the machine's storage: the disks and CD-ROM drives of sysfs, the
// mount table, and the drive letters given to the mounts.

#include "platform/linux/DriveLetters.h"
#include "platform/linux/MountTable.h"
#include "platform/linux/SysBlock.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Where the machine is read from; tests point these at recorded trees.
struct StorageRoots {
    std::filesystem::path sys = "/sys";
    std::filesystem::path dev = "/dev";
    std::filesystem::path mountInfo = "/proc/self/mountinfo";
    std::filesystem::path files = "/";            // under which mount points are reached
    std::filesystem::path exe = "/proc/self/exe"; // a link to the running program
    std::filesystem::path cwd;                    // empty: the process's working directory
};

class StorageView {
public:
    // Reads the mount table from roots.mountInfo, or takes `mounts` as read by its caller.
    static StorageView read(const StorageRoots& roots,
                            std::shared_ptr<const std::vector<MountEntry>> mounts = nullptr);

    const BlockInventory& inventory() const { return inventory_; }
    const std::vector<MountEntry>& mounts() const { return *mounts_; }
    const std::vector<DriveLetter>& letters() const { return letters_; }

    // Either case; null when the letter is not given.
    const DriveLetter* findLetter(char16_t letter) const;
    const MountEntry* mountOf(const DriveLetter& drive) const;
    std::optional<std::size_t> diskNumber(std::string_view name) const;
    std::optional<std::size_t> cdromNumber(std::string_view name) const;

    // "C:\usr\bin\hwsnap" for "/usr/bin/hwsnap": the letter of the volume that holds the path
    // and the path within it; empty when the path lies on no lettered volume.
    std::optional<std::string> windowsPath(const std::string& linuxPath) const;

    // Where the directory `windowsPath` ("D:\", "D:\data") is on the live machine, below
    // roots.files; empty when the letter has no mount.
    std::optional<std::filesystem::path> linuxPath(const DriveLetter& drive,
                                                   const std::string& rest) const;

private:
    StorageRoots roots_;
    BlockInventory inventory_;
    std::shared_ptr<const std::vector<MountEntry>> mounts_;
    std::vector<MountPlacement> placements_;
    std::vector<DriveLetter> letters_;
};

// The block node a mount's file system sits on ("sda1", "dm-0"): by its device number where the
// kernel reports one, else by its source path under /dev; empty when neither names a node.
std::optional<std::string> mountBlockName(const StorageRoots& roots, const MountEntry& mount);

MountPlacement placeMount(const StorageRoots& roots, const BlockInventory& inventory,
                          const MountEntry& mount, bool isRoot);

} // namespace platform
