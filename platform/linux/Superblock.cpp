#include "platform/linux/Superblock.h"

#include "platform/HexText.h"
#include "platform/TextFile.h"
#include "platform/WideText.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <span>
#include <vector>

namespace platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::optional<Bytes> readAt(const ByteReader& read, std::uint64_t offset, std::size_t size) {
    Bytes bytes(size);
    if (!read(offset, bytes)) {
        return std::nullopt;
    }
    return bytes;
}

std::uint16_t le16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::uint64_t le64(const Bytes& b, std::size_t at) {
    return static_cast<std::uint64_t>(le32(b, at)) |
           (static_cast<std::uint64_t>(le32(b, at + 4)) << 32);
}

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return (static_cast<std::uint32_t>(b[at]) << 24) |
           (static_cast<std::uint32_t>(b[at + 1]) << 16) |
           (static_cast<std::uint32_t>(b[at + 2]) << 8) | static_cast<std::uint32_t>(b[at + 3]);
}

bool matches(const Bytes& b, std::size_t at, std::string_view magic) {
    return b.size() >= at + magic.size() &&
           std::memcmp(b.data() + at, magic.data(), magic.size()) == 0;
}

// A NUL-padded label field, stopped at the first NUL.
std::string cString(const Bytes& b, std::size_t at, std::size_t size) {
    std::string text;
    for (std::size_t i = at; i < at + size && i < b.size() && b[i] != 0; ++i) {
        text.push_back(static_cast<char>(b[i]));
    }
    return text;
}

std::string trimTrailingBlanks(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.pop_back();
    }
    return text;
}

std::string uuidText(const Bytes& b, std::size_t at) {
    const std::string hex = hexText(std::span(b).subspan(at, 16));
    return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
           hex.substr(16, 4) + "-" + hex.substr(20);
}

std::string serialText(std::uint32_t serial) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text(9, '-');
    for (int i = 0; i < 8; ++i) {
        text[static_cast<std::size_t>(i < 4 ? i : i + 1)] = digits[(serial >> (28 - 4 * i)) & 0xF];
    }
    return text;
}

std::string utf16leText(const Bytes& b, std::size_t at, std::size_t units) {
    std::u16string text;
    for (std::size_t i = 0; i < units && at + 2 * i + 1 < b.size(); ++i) {
        text.push_back(static_cast<char16_t>(le16(b, at + 2 * i)));
    }
    return utf16ToUtf8(text);
}

std::optional<FileSystemIdentity> identifyExt(const ByteReader& read) {
    const auto sb = readAt(read, 1024, 1024);
    if (!sb || le16(*sb, 0x38) != 0xEF53) {
        return std::nullopt;
    }
    FileSystemIdentity id;
    const std::uint32_t compat = le32(*sb, 0x5C);
    const std::uint32_t incompat = le32(*sb, 0x60);
    const std::uint32_t roCompat = le32(*sb, 0x64);
    // Extents, 64-bit, flex_bg, inline data, metadata checksums... are past what ext3 knows.
    const bool ext4 = (incompat & 0x1F2C0u) != 0 || (roCompat & 0x478u) != 0;
    id.type = ext4 ? "ext4" : (compat & 0x4u) != 0 ? "ext3" : "ext2";
    id.label = cString(*sb, 0x78, 16);
    id.uuid = uuidText(*sb, 0x68);
    id.serial = be32(*sb, 0x68);
    return id;
}

std::optional<FileSystemIdentity> identifyXfs(const ByteReader& read) {
    const auto sb = readAt(read, 0, 512);
    if (!sb || !matches(*sb, 0, "XFSB")) {
        return std::nullopt;
    }
    FileSystemIdentity id;
    id.type = "xfs";
    id.label = cString(*sb, 108, 12);
    id.uuid = uuidText(*sb, 32);
    id.serial = be32(*sb, 32);
    return id;
}

std::optional<FileSystemIdentity> identifyBtrfs(const ByteReader& read) {
    const auto sb = readAt(read, 0x10000, 0x1000);
    if (!sb || !matches(*sb, 0x40, "_BHRfS_M")) {
        return std::nullopt;
    }
    FileSystemIdentity id;
    id.type = "btrfs";
    id.label = cString(*sb, 0x12B, 256);
    id.uuid = uuidText(*sb, 0x20);
    id.serial = be32(*sb, 0x20);
    return id;
}

std::optional<FileSystemIdentity> identifyExfat(const ByteReader& read, const Bytes& boot) {
    if (!matches(boot, 3, "EXFAT   ")) {
        return std::nullopt;
    }
    FileSystemIdentity id;
    id.type = "exfat";
    id.serial = le32(boot, 100);
    id.uuid = serialText(*id.serial);

    const unsigned sectorShift = boot[108];
    const unsigned clusterShift = boot[109];
    const std::uint64_t heap = le32(boot, 88);
    const std::uint64_t rootCluster = le32(boot, 96);
    if (sectorShift < 9 || sectorShift > 12 || clusterShift > 25 - sectorShift || rootCluster < 2) {
        return id;
    }
    const std::uint64_t rootOffset = (heap + ((rootCluster - 2) << clusterShift)) << sectorShift;
    const std::size_t clusterBytes = std::size_t{1} << (sectorShift + clusterShift);
    const auto root = readAt(read, rootOffset, std::min<std::size_t>(clusterBytes, 4096));
    if (!root) {
        return id;
    }
    for (std::size_t at = 0; at + 32 <= root->size(); at += 32) {
        const std::uint8_t type = (*root)[at];
        if (type == 0x00) {
            break;
        }
        if (type == 0x83) {
            id.label = utf16leText(*root, at + 2, std::min<std::size_t>((*root)[at + 1], 11));
            break;
        }
    }
    return id;
}

std::string ntfsLabel(const ByteReader& read, const Bytes& boot) {
    const std::uint32_t sectorSize = le16(boot, 11);
    const std::uint8_t perCluster = boot[13];
    if (sectorSize < 256 || sectorSize > 4096 || (sectorSize & (sectorSize - 1)) != 0) {
        return {};
    }
    const std::uint64_t clusterSize = perCluster > 0x80
                                          ? std::uint64_t{1} << std::min(256 - perCluster, 31)
                                          : std::uint64_t{perCluster} * sectorSize;
    const auto perRecord = static_cast<std::int8_t>(boot[64]);
    const std::uint64_t recordSize = perRecord < 0
                                         ? std::uint64_t{1} << std::min(-perRecord, 31)
                                         : static_cast<std::uint64_t>(perRecord) * clusterSize;
    const std::uint64_t mftCluster = le64(boot, 48);
    if (clusterSize == 0 || recordSize < 512 || recordSize > 65536 ||
        mftCluster > (UINT64_MAX / clusterSize) / 2) {
        return {};
    }
    // Record 3 of the master file table is $Volume; its VOLUME_NAME attribute holds the label.
    auto record = readAt(read, mftCluster * clusterSize + 3 * recordSize, recordSize);
    if (!record || !matches(*record, 0, "FILE")) {
        return {};
    }
    const std::size_t usaOffset = le16(*record, 4);
    const std::size_t usaCount = le16(*record, 6);
    if (usaCount == 0 || usaOffset + 2 * usaCount > record->size() ||
        (usaCount - 1) * 512 > record->size()) {
        return {};
    }
    for (std::size_t i = 1; i < usaCount; ++i) {
        const std::size_t end = i * 512 - 2;
        if (le16(*record, end) != le16(*record, usaOffset)) {
            return {}; // torn write: the record is not to be trusted
        }
        (*record)[end] = (*record)[usaOffset + 2 * i];
        (*record)[end + 1] = (*record)[usaOffset + 2 * i + 1];
    }
    std::size_t at = le16(*record, 20);
    while (at + 24 <= record->size()) {
        const std::uint32_t type = le32(*record, at);
        const std::uint32_t length = le32(*record, at + 4);
        if (type == 0xFFFFFFFFu || length < 24 || at + length > record->size()) {
            break;
        }
        if (type == 0x60 && (*record)[at + 8] == 0) {
            const std::uint32_t valueLength = le32(*record, at + 16);
            const std::size_t valueOffset = le16(*record, at + 20);
            if (valueOffset + valueLength <= length) {
                return utf16leText(*record, at + valueOffset, valueLength / 2);
            }
            break;
        }
        at += length;
    }
    return {};
}

std::optional<FileSystemIdentity> identifyNtfs(const ByteReader& read, const Bytes& boot) {
    if (!matches(boot, 3, "NTFS    ")) {
        return std::nullopt;
    }
    FileSystemIdentity id;
    id.type = "ntfs";
    const std::uint64_t serial = le64(boot, 72);
    id.serial = static_cast<std::uint32_t>(serial);
    Bytes raw(8);
    for (std::size_t i = 0; i < 8; ++i) {
        raw[7 - i] = boot[72 + i];
    }
    id.uuid = hexText(std::span(raw).first(8), true);
    id.label = ntfsLabel(read, boot);
    return id;
}

std::optional<FileSystemIdentity> identifyFat(const Bytes& boot) {
    const std::uint16_t sectorSize = le16(boot, 11);
    const std::uint8_t perCluster = boot[13];
    if ((boot[0] != 0xEB && boot[0] != 0xE9) || sectorSize < 512 || sectorSize > 4096 ||
        (sectorSize & (sectorSize - 1)) != 0 || perCluster == 0 ||
        (perCluster & (perCluster - 1)) != 0 || boot[16] == 0) {
        return std::nullopt;
    }
    const bool fat32 = le16(boot, 22) == 0 && le32(boot, 36) != 0;
    const std::size_t extended = fat32 ? 64 : 36; // the extended BPB: drive, reserved, signature
    const std::uint8_t signature = boot[extended + 2];
    FileSystemIdentity id;
    id.type = "vfat";
    if (signature != 0x28 && signature != 0x29) {
        return id;
    }
    id.serial = le32(boot, extended + 3);
    id.uuid = serialText(*id.serial);
    if (signature == 0x29) {
        const std::string label = trimTrailingBlanks(cString(boot, extended + 7, 11));
        if (label != "NO NAME") {
            id.label = label;
        }
    }
    return id;
}

} // namespace

std::optional<FileSystemIdentity> identifyFileSystem(const ByteReader& read) {
    if (auto ext = identifyExt(read)) {
        return ext;
    }
    if (auto xfs = identifyXfs(read)) {
        return xfs;
    }
    if (auto btrfs = identifyBtrfs(read)) {
        return btrfs;
    }
    const auto boot = readAt(read, 0, 512);
    if (!boot || (*boot)[510] != 0x55 || (*boot)[511] != 0xAA) {
        return std::nullopt;
    }
    if (auto exfat = identifyExfat(read, *boot)) {
        return exfat;
    }
    if (auto ntfs = identifyNtfs(read, *boot)) {
        return ntfs;
    }
    return identifyFat(*boot);
}

std::optional<std::uint32_t> serialFromUuid(std::string_view uuid) {
    std::string hex;
    std::copy_if(uuid.begin(), uuid.end(), std::back_inserter(hex),
                 [](char c) { return c != '-'; });
    std::string_view part = hex;
    if (hex.size() == 16) {
        part.remove_prefix(8);
    } else if (hex.size() == 32) {
        part = part.substr(0, 8);
    } else if (hex.size() != 8) {
        return std::nullopt;
    }
    // Hex digits only: no sign, no blanks, in any of the 8, 16 or 32.
    if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return std::nullopt;
    }
    return parseNumber<std::uint32_t>(part, 16);
}

std::string decodeUdevName(std::string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto escaped = name.substr(i).starts_with("\\x") && i + 3 < name.size()
                                 ? hexBytes(name.substr(i + 2, 2))
                                 : std::nullopt;
        if (escaped) {
            out.push_back(static_cast<char>(escaped->front()));
            i += 3;
        } else {
            out.push_back(name[i]);
        }
    }
    return out;
}

} // namespace platform
