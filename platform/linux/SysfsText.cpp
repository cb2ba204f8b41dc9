#include "platform/linux/SysfsText.h"

#include "platform/Hot.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace platform::sysfs {
namespace fs = std::filesystem;

std::optional<std::string> readTrimmed(const fs::path& file) {
    thread_local std::string text;
    if (!readTextFile(file, text)) {
        return std::nullopt;
    }
    std::string_view rest = text;
    return std::string(trimText(nextLine(rest)));
}

std::optional<std::vector<std::uint8_t>> readSysBytes(const fs::path& file, std::size_t limit) {
    thread_local std::string text;
    if (!readTextFile(file, text)) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(text.begin(), text.begin() + std::min(limit, text.size()));
}

bool isKernelFile(int fd) {
    // Their files are made afresh on every read from offset 0.
    constexpr long kProcMagic = 0x9fa0;
    constexpr long kSysfsMagic = 0x62656572;
    struct statfs info {};
    return ::fstatfs(fd, &info) == 0 && (static_cast<long>(info.f_type) == kProcMagic ||
                                         static_cast<long>(info.f_type) == kSysfsMagic);
}

SM_HOT std::optional<std::size_t> readFromStart(int fd, std::string& buffer, bool attribute) {
    if (buffer.size() < 4096) {
        buffer.resize(4096);
    }
    std::size_t used = 0;
    while (true) {
        if (used == buffer.size()) {
            buffer.resize(buffer.size() * 2);
        }
        const std::size_t wanted = buffer.size() - used;
        const ssize_t got = ::pread(fd, buffer.data() + used, wanted, static_cast<off_t>(used));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        used += static_cast<std::size_t>(got);
        if (got == 0 || (attribute && static_cast<std::size_t>(got) < wanted)) {
            return used;
        }
    }
}

std::optional<std::vector<std::string>> directoryNames(const fs::path& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    alignas(dirent64) char buffer[8192];
    ssize_t got = 0;
    while ((got = ::getdents64(fd, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < got;) {
            dirent64 entry;
            std::memcpy(&entry, buffer + at, offsetof(dirent64, d_name));
            const char* name = buffer + at + offsetof(dirent64, d_name);
            if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
                names.emplace_back(name);
            }
            at += entry.d_reclen;
        }
    }
    ::close(fd);
    if (got < 0) {
        return std::nullopt;
    }
    return names;
}

bool isNumbered(std::string_view component, std::string_view prefix) {
    if (!component.starts_with(prefix) || component.size() == prefix.size()) {
        return false;
    }
    return std::all_of(component.begin() + static_cast<std::ptrdiff_t>(prefix.size()),
                       component.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string_view> pathComponents(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const auto slash = path.find('/');
        if (slash != 0) {
            parts.push_back(path.substr(0, slash));
        }
        if (slash == std::string_view::npos) {
            break;
        }
        path.remove_prefix(slash + 1);
    }
    return parts;
}

// The "ataN" component of a device path and its index, if the device sits behind libata.
std::optional<std::size_t> ataComponent(const std::vector<std::string_view>& parts) {
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (isNumbered(parts[i], "ata")) {
            return i;
        }
    }
    return std::nullopt;
}

fs::path joinComponents(const fs::path& sys, const std::vector<std::string_view>& parts,
                        std::size_t count) {
    fs::path result = sys;
    for (std::size_t i = 0; i < count && i < parts.size(); ++i) {
        result /= std::string(parts[i]);
    }
    return result;
}

std::optional<ScsiAddress> parseScsiAddress(std::string_view text) {
    ScsiAddress address;
    unsigned* fields[] = {&address.host, &address.channel, &address.target, &address.lun};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto colon = text.find(':');
        if ((colon == std::string_view::npos) != (i == 3)) {
            return std::nullopt;
        }
        const auto value = parseNumber<unsigned>(text.substr(0, colon));
        if (!value) {
            return std::nullopt;
        }
        *fields[i] = *value;
        if (colon != std::string_view::npos) {
            text.remove_prefix(colon + 1);
        }
    }
    return address;
}

std::filesystem::path resolvedPath(const std::filesystem::path& path, std::error_code& error) {
    error.clear();
    const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd >= 0) {
        char target[4096];
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
        ::close(fd);
        if (length > 0 && static_cast<std::size_t>(length) < sizeof target && target[0] == '/') {
            return std::filesystem::path(std::string(target, static_cast<std::size_t>(length)));
        }
    }
    return std::filesystem::canonical(path, error); // without /proc, or to report why
}

} // namespace platform::sysfs
