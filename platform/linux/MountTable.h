#pragma once
// The mount table (/proc/self/mountinfo) and what kind of storage each file-system type is.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct MountEntry {
    unsigned id = 0;
    unsigned parentId = 0;
    unsigned major = 0; // st_dev of the file system; 0 for anonymous devices (btrfs, tmpfs, ...)
    unsigned minor = 0;
    std::string root;       // the directory of the file system mounted here
    std::string mountPoint; // octal escapes (\040) already undone
    std::string mountOptions;
    std::string fsType;
    std::string source;
    std::string superOptions;
};

// One entry per well-formed line, in table order; malformed lines are skipped.
std::vector<MountEntry> parseMountInfo(std::string_view text);

// The mount table as a file gives it, read again only when it may have changed: the kernel's
// table is kept open and polled, since the kernel marks it (POLLPRI) on every mount, unmount and
// remount; any other file (a test's recorded table) is read on every call. Not for concurrent
// use: its owner serializes.
class MountInfoFile {
public:
    explicit MountInfoFile(std::string path = "/proc/self/mountinfo");
    ~MountInfoFile();
    MountInfoFile(const MountInfoFile&) = delete;
    MountInfoFile& operator=(const MountInfoFile&) = delete;

    // The table as it stands; empty when the file cannot be read.
    std::shared_ptr<const std::vector<MountEntry>> table();

private:
    std::string path_;
    int fd_ = -1;   // the kernel's table, kept open to be polled
    int owner_ = 0; // the process that opened it: a forked child shares its marks, so reopens
    std::shared_ptr<const std::vector<MountEntry>> table_;
};

// Undoes the kernel's octal escapes (\040 space, \011 tab, \012 newline, \134 backslash).
std::string unescapeMountField(std::string_view field);

// Whether a comma-separated option list holds `name` exactly ("ro", not "errors=remount-ro").
bool hasMountOption(std::string_view options, std::string_view name);

// Read-only when either the mount or the file system itself is.
bool isReadOnlyMount(const MountEntry& mount);

enum class FileSystemKind {
    Local,   // on a block device, or a local file system that may not name one (zfs, overlay)
    Network, // a share of another machine: a network drive
    Memory,  // tmpfs, ramfs: a RAM disk
    Pseudo,  // kernel interfaces (proc, sysfs, cgroup, ...): never a drive
};

FileSystemKind classifyFileSystem(std::string_view fsType);

} // namespace platform
