#include "platform/linux/DriveLetters.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

MountEntry mountAt(const std::string& point, const std::string& root = "/") {
    MountEntry mount;
    mount.mountPoint = point;
    mount.root = root;
    return mount;
}

MountPlacement onDisk(const std::string& node, std::size_t disk, bool removable = false) {
    MountPlacement placement;
    placement.kind = VolumeKind::Disk;
    placement.key = "blk:" + node;
    placement.blockName = node;
    placement.disks = {disk};
    placement.removable = removable;
    return placement;
}

std::string lettersOf(const std::vector<DriveLetter>& letters) {
    std::string text;
    for (const auto& drive : letters) {
        text += drive.letter;
        text += drive.blockName.empty() ? drive.key : drive.blockName;
        text += ' ';
    }
    return text;
}

TEST(DriveLettersTest, GivesTheRootCAndTheRestLettersInTableOrder) {
    const std::vector<MountEntry> mounts = {mountAt("/proc"), mountAt("/boot"), mountAt("/"),
                                            mountAt("/home"), mountAt("/srv")};
    const std::vector<MountPlacement> placements = {MountPlacement{}, onDisk("sda1", 0),
                                                    onDisk("sda2", 0), onDisk("sdb1", 1),
                                                    onDisk("sdc1", 2, true)};
    const auto letters = assignDriveLetters(mounts, placements, 0);
    EXPECT_EQ(lettersOf(letters), "Csda2 Dsda1 Esdb1 Fsdc1 ");
    EXPECT_EQ(letters[0].driveType(), DRIVE_FIXED);
    EXPECT_EQ(letters[3].driveType(), DRIVE_REMOVABLE);
    EXPECT_EQ(letters[1].mount, 1u);
}

TEST(DriveLettersTest, GivesOneLetterPerDeviceAndSkipsHiddenMounts) {
    // /data is mounted twice (a bind mount): the first wins. /mnt is mounted over: the lower
    // mount cannot be reached.
    const std::vector<MountEntry> mounts = {mountAt("/"), mountAt("/data"), mountAt("/srv", "/x"),
                                            mountAt("/mnt"), mountAt("/mnt")};
    const std::vector<MountPlacement> placements = {onDisk("vda", 0), onDisk("sdb1", 1),
                                                    onDisk("sdb1", 1), onDisk("sdc1", 2),
                                                    onDisk("sdd1", 3)};
    EXPECT_EQ(lettersOf(assignDriveLetters(mounts, placements, 0)), "Cvda Dsdb1 Esdd1 ");
}

TEST(DriveLettersTest, StopsAtZ) {
    std::vector<MountEntry> mounts = {mountAt("/")};
    std::vector<MountPlacement> placements = {onDisk("sda", 0)};
    for (int i = 0; i < 30; ++i) {
        mounts.push_back(mountAt("/m" + std::to_string(i)));
        placements.push_back(onDisk("sdb" + std::to_string(i), 1));
    }
    const auto letters = assignDriveLetters(mounts, placements, 1);
    ASSERT_EQ(letters.size(), 24u); // C..Z
    EXPECT_EQ(letters.back().letter, 'Z');
}

TEST(DriveLettersTest, FindsTheMountHoldingAPath) {
    const std::vector<MountEntry> mounts = {mountAt("/"), mountAt("/mnt/a"), mountAt("/mnt/a/b"),
                                            mountAt("/mnt/a")};
    const struct {
        const char* path;
        std::size_t mount;
    } cases[] = {{"/", 0},        {"/usr/bin/x", 0}, {"/mnt/ab", 0},   {"/mnt/a", 3},
                 {"/mnt/a/x", 3}, {"/mnt/a/b", 2},   {"/mnt/a/b/c", 2}};
    for (const auto& c : cases) {
        EXPECT_EQ(mountHolding(mounts, c.path), c.mount) << c.path;
    }
    EXPECT_FALSE(mountHolding({mountAt("/data")}, "/usr").has_value());
}

} // namespace
} // namespace platform
