#pragma once
// A file system's label and serial number from its own on-disk structures: ext2/3/4, XFS, Btrfs,
// FAT12/16/32, exFAT and NTFS. The parsers read through a callback, so tests give them recorded
// bytes and the live machine the block device.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {

struct FileSystemIdentity {
    std::string type;  // "ext4", "xfs", "btrfs", "vfat", "exfat", "ntfs"
    std::string label; // UTF-8; empty when the file system has none
    std::optional<std::uint32_t> serial;
    std::string uuid; // as the udev links name it ("1234-ABCD", "0123456789ABCDEF", 8-4-4-4-12)
};

// Fills `out` with the bytes at `offset`; false when they cannot be read (past the end, I/O error).
using ByteReader = std::function<bool(std::uint64_t offset, std::span<std::uint8_t> out)>;

// The identity of the file system the reader shows; nullopt when it is none of the known kinds or
// its structures are inconsistent. Never reads far: the superblocks, and for exFAT and NTFS the
// one directory entry or file record that holds the label.
std::optional<FileSystemIdentity> identifyFileSystem(const ByteReader& read);

// The 32-bit volume serial a udev UUID stands for: "ABCD-1234" (FAT, exFAT) as is, 16 hex digits
// (NTFS) their low 32 bits, a 128-bit UUID its first 32 bits as printed; nullopt otherwise.
std::optional<std::uint32_t> serialFromUuid(std::string_view uuid);

// A /dev/disk/by-label name with udev's \xHH escapes undone.
std::string decodeUdevName(std::string_view name);

} // namespace platform
