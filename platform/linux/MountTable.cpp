#include "platform/linux/MountTable.h"

#include "platform/TextFile.h"
#include "platform/linux/SysfsText.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

namespace platform {
namespace {

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ') {
            ++i;
        }
        if (i > start) {
            fields.push_back(line.substr(start, i - start));
        }
    }
    return fields;
}

bool parseUnsigned(std::string_view text, unsigned& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size();
}

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

} // namespace

std::string unescapeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
            isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            const int value =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value < 256) {
                out.push_back(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    std::vector<MountEntry> mounts;
    while (!text.empty()) {
        const std::string_view line = nextLine(text);

        // id parent major:minor root mount-point options [optional fields...] - type source super
        const auto fields = splitFields(line);
        const auto separator = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (fields.size() < 6 || separator == fields.end() || separator - fields.begin() < 6 ||
            fields.end() - separator < 3) {
            continue;
        }
        MountEntry entry;
        const std::string_view device = fields[2];
        const auto colon = device.find(':');
        if (!parseUnsigned(fields[0], entry.id) || !parseUnsigned(fields[1], entry.parentId) ||
            colon == std::string_view::npos ||
            !parseUnsigned(device.substr(0, colon), entry.major) ||
            !parseUnsigned(device.substr(colon + 1), entry.minor)) {
            continue;
        }
        entry.root = unescapeMountField(fields[3]);
        entry.mountPoint = unescapeMountField(fields[4]);
        entry.mountOptions = std::string(fields[5]);
        entry.fsType = unescapeMountField(separator[1]);
        entry.source = unescapeMountField(separator[2]);
        entry.superOptions =
            fields.end() - separator > 3 ? std::string(separator[3]) : std::string();
        mounts.push_back(std::move(entry));
    }
    return mounts;
}

MountInfoFile::MountInfoFile(std::string path) : path_(std::move(path)) {}

MountInfoFile::~MountInfoFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::shared_ptr<const std::vector<MountEntry>> MountInfoFile::table() {
    if (fd_ >= 0 && owner_ != ::getpid()) {
        ::close(fd_);
        fd_ = -1;
    }
    if (fd_ >= 0) {
        pollfd marked{fd_, POLLPRI, 0};
        if (::poll(&marked, 1, 0) == 0) {
            return table_; // no mount, unmount or remount since the last reading
        }
    } else {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        owner_ = ::getpid();
    }
    std::string text;
    const auto length = fd_ >= 0 ? sysfs::readFromStart(fd_, text, false) : std::nullopt;
    if ((!length || !sysfs::isKernelFile(fd_)) && fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    table_ = std::make_shared<const std::vector<MountEntry>>(
        length ? parseMountInfo(std::string_view(text).substr(0, *length))
               : std::vector<MountEntry>{});
    return table_;
}

bool hasMountOption(std::string_view options, std::string_view name) {
    while (!options.empty()) {
        const auto comma = options.find(',');
        if (options.substr(0, comma) == name) {
            return true;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        options.remove_prefix(comma + 1);
    }
    return false;
}

bool isReadOnlyMount(const MountEntry& mount) {
    return hasMountOption(mount.mountOptions, "ro") || hasMountOption(mount.superOptions, "ro");
}

FileSystemKind classifyFileSystem(std::string_view fsType) {
    // Shares exported by another machine, including a VM host's shared folders (9p, virtiofs).
    static constexpr std::array<std::string_view, 17> network = {
        "nfs",   "nfs4", "cifs",       "smb3",        "smbfs",         "ncpfs",
        "afs",   "ceph", "glusterfs",  "9p",          "virtiofs",      "lustre",
        "davfs", "coda", "fuse.sshfs", "fuse.rclone", "fuse.glusterfs"};
    static constexpr std::array<std::string_view, 2> memory = {"tmpfs", "ramfs"};
    // Kernel interfaces and automounter placeholders: they hold no user data.
    static constexpr std::array<std::string_view, 27> pseudo = {
        "proc",    "sysfs",   "devtmpfs",    "devpts",   "cgroup",   "cgroup2",    "securityfs",
        "debugfs", "tracefs", "pstore",      "bpf",      "configfs", "fusectl",    "hugetlbfs",
        "mqueue",  "autofs",  "binfmt_misc", "efivarfs", "nsfs",     "rpc_pipefs", "selinuxfs",
        "nfsd",    "rootfs",  "cpuset",      "sockfs",   "pipefs",   "fuse.lxcfs"};
    const auto in = [fsType](const auto& list) {
        return std::find(list.begin(), list.end(), fsType) != list.end();
    };
    if (in(network) || fsType.starts_with("nfs") || fsType.starts_with("fuse.s3")) {
        return FileSystemKind::Network;
    }
    if (in(memory)) {
        return FileSystemKind::Memory;
    }
    if (in(pseudo)) {
        return FileSystemKind::Pseudo;
    }
    return FileSystemKind::Local;
}

} // namespace platform
