#include "platform/linux/Superblock.h"

#include "platform/linux/testing/FakeSysfs.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace platform {
namespace {

test::RecordedImage image(const std::string& name) {
    return test::loadRecordedImage(test::linuxTestData() / "superblocks" / (name + ".hex"));
}

ByteReader readerOf(const test::RecordedImage& recorded) {
    return [&recorded](std::uint64_t offset, std::span<std::uint8_t> out) {
        return recorded.read(offset, out);
    };
}

TEST(SuperblockTest, IdentifiesRecordedFileSystems) {
    const struct {
        const char* image;
        const char* type;
        const char* label;
        std::uint32_t serial;
        const char* uuid;
    } cases[] = {
        {"ext4-mke2fs-16M", "ext4", "Root Disk", 0x5D2B7E2A,
         "5d2b7e2a-1c3f-4e5b-9a6d-7f8e9d0c1b2a"},
        {"ext2-mke2fs-8M", "ext2", "", 0x01234567, "01234567-89ab-cdef-0123-456789abcdef"},
        {"xfs-mkfs-320M", "xfs", "scratch", 0x9F8E7D6C, "9f8e7d6c-5b4a-3928-1706-f5e4d3c2b1a0"},
        {"btrfs-mkfs-128M", "btrfs", "pool", 0xC0FFEE00, "c0ffee00-1234-4abc-8def-0123456789ab"},
        {"fat32-mkdosfs-64M", "vfat", "USB STICK", 0x1A2B3C4D, "1A2B-3C4D"},
        {"fat16-mkdosfs-16M", "vfat", "", 0x00C0FFEE, "00C0-FFEE"},
        {"exfat-mkexfat-32M", "exfat", "Camera", 0x6B9DB1F8, "6B9D-B1F8"},
        {"ntfs-mkntfs-32M", "ntfs", "Windows", 0x2EA945F4, "10B436272EA945F4"},
    };
    for (const auto& c : cases) {
        const auto recorded = image(c.image);
        const auto identity = identifyFileSystem(readerOf(recorded));
        ASSERT_TRUE(identity.has_value()) << c.image;
        EXPECT_EQ(identity->type, c.type) << c.image;
        EXPECT_EQ(identity->label, c.label) << c.image;
        EXPECT_EQ(identity->serial, c.serial) << c.image;
        EXPECT_EQ(identity->uuid, c.uuid) << c.image;
        // The serial a udev link's name gives is the serial the superblock gives.
        EXPECT_EQ(serialFromUuid(identity->uuid), c.serial) << c.image;
    }
}

TEST(SuperblockTest, IdentifiesNothingInBlankOrUnreadableBytes) {
    test::RecordedImage blank;
    blank.size = 1 << 20;
    EXPECT_FALSE(identifyFileSystem(readerOf(blank)).has_value());
    const ByteReader failing = [](std::uint64_t, std::span<std::uint8_t>) { return false; };
    EXPECT_FALSE(identifyFileSystem(failing).has_value());
}

TEST(SuperblockTest, SurvivesAnImageCutShort) {
    // Cut every image just past its boot sector: the parsers must fail or answer what they saw,
    // never read past what the reader gives.
    for (const char* name : {"ext4-mke2fs-16M", "btrfs-mkfs-128M", "exfat-mkexfat-32M",
                             "ntfs-mkntfs-32M", "fat32-mkdosfs-64M"}) {
        auto recorded = image(name);
        recorded.size = 1024;
        const auto identity = identifyFileSystem(readerOf(recorded));
        if (identity) {
            EXPECT_TRUE(identity->label.empty() || identity->type == "vfat") << name;
        }
    }
}

TEST(SuperblockTest, DropsOnlyTheFieldsOfADamagedStructure) {
    const struct {
        const char* image;
        std::uint64_t offset;
        std::vector<std::uint8_t> bytes;
        std::optional<std::uint32_t> serial;
    } cases[] = {
        // MFT record 3's first sector ends in a sequence number that no longer matches.
        {"ntfs-mkntfs-32M", 19456 + 510, {0xDE, 0xAD}, 0x2EA945F4u},
        {"exfat-mkexfat-32M", 108, {9, 30}, 0x6B9DB1F8u}, // a cluster of 2^39 bytes
        {"fat16-mkdosfs-16M", 38, {0x00}, std::nullopt},  // no extended boot signature
    };
    for (const auto& c : cases) {
        auto recorded = image(c.image);
        recorded.patch(c.offset, c.bytes);
        const auto identity = identifyFileSystem(readerOf(recorded));
        ASSERT_TRUE(identity.has_value()) << c.image;
        EXPECT_EQ(identity->label, "") << c.image;
        EXPECT_EQ(identity->serial, c.serial) << c.image;
    }
}

TEST(SuperblockTest, BoundsNtfsAttributesByTheirRecord) {
    auto recorded = image("ntfs-mkntfs-32M");
    // An attribute length past the end of the 1 KiB record ends the walk.
    std::vector<std::uint8_t> record(1024);
    ASSERT_TRUE(recorded.read(19456, record));
    const std::size_t first = record[20] | (record[21] << 8);
    const std::uint8_t huge[4] = {0xFF, 0xFF, 0x00, 0x00};
    recorded.patch(19456 + first + 4, huge);
    const auto identity = identifyFileSystem(readerOf(recorded));
    ASSERT_TRUE(identity.has_value());
    EXPECT_EQ(identity->label, "");
}

TEST(SuperblockTest, DecodesUdevEscapesAndUuidSerials) {
    const std::pair<std::string_view, std::optional<std::uint32_t>> uuids[] = {
        {"1234-ABCD", 0x1234ABCD},        // FAT
        {"0123456789abcdef", 0x89ABCDEF}, // NTFS: the low half
        {"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0", 0x0F1E2D3C},
        {"1234-ABCG", std::nullopt},
        {"+1234567", std::nullopt},
        {"12345", std::nullopt},
    };
    for (const auto& [uuid, serial] : uuids) {
        EXPECT_EQ(serialFromUuid(uuid), serial) << uuid;
    }
    EXPECT_EQ(decodeUdevName("USB\\x20STICK"), "USB STICK");
    EXPECT_EQ(decodeUdevName("a\\x2fb"), "a/b");
    EXPECT_EQ(decodeUdevName("a\\x2"), "a\\x2");
    EXPECT_EQ(decodeUdevName("a\\xZZ"), "a\\xZZ");
    EXPECT_EQ(decodeUdevName("Daten"), "Daten");
}

} // namespace
} // namespace platform
