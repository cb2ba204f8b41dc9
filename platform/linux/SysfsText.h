#pragma once
// Small readers of sysfs text and device paths shared by the block-device files.

#include "platform/TextFile.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace platform::sysfs {

// The first line of an attribute, blanks trimmed; nullopt when it cannot be read.
std::optional<std::string> readTrimmed(const std::filesystem::path& file);

// Up to `limit` bytes of a (binary) attribute; nullopt when it cannot be read.
std::optional<std::vector<std::uint8_t>> readSysBytes(const std::filesystem::path& file,
                                                      std::size_t limit = 4096);

// `path` with every symbolic link resolved, as std::filesystem::canonical gives it, asking the
// kernel once rather than once per component; `error` set when the path does not exist.
std::filesystem::path resolvedPath(const std::filesystem::path& path, std::error_code& error);

// Whether `fd` is a file of /proc or /sys, which the kernel makes afresh on every read.
bool isKernelFile(int fd);

// Reads `fd` from offset 0 into `buffer`, which grows as needed and never shrinks; the length
// read, or nullopt on an error. An attribute of sysfs comes whole from one read, so a short read
// ends it; other files end at a read of nothing.
std::optional<std::size_t> readFromStart(int fd, std::string& buffer, bool attribute);

// The names in a directory, "." and ".." left out, in the order the kernel gives them; nullopt
// when it cannot be opened. Read straight from getdents64: no stat or directory stream per call.
std::optional<std::vector<std::string>> directoryNames(const std::filesystem::path& directory);

bool isNumbered(std::string_view component, std::string_view prefix);

std::vector<std::string_view> pathComponents(std::string_view path);

// The "ataN" component of a device path and its index, if the device sits behind libata.
std::optional<std::size_t> ataComponent(const std::vector<std::string_view>& parts);

// The path of `sys` followed by the first `count` components.
std::filesystem::path joinComponents(const std::filesystem::path& sys,
                                     const std::vector<std::string_view>& parts, std::size_t count);

struct ScsiAddress {
    unsigned host = 0, channel = 0, target = 0, lun = 0;
};

std::optional<ScsiAddress> parseScsiAddress(std::string_view text);

} // namespace platform::sysfs
