#include "platform/linux/MountTable.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(MountTableTest, HandlesOptionalFieldsEscapesAndBrokenLines) {
    const auto mounts =
        parseMountInfo("36 35 98:0 /mnt1 /mnt/my\\040disk rw,noatime master:1 shared:7 - ext3 "
                       "/dev/root rw,errors=continue\n"
                       "garbage line\n"
                       "37 35 x:0 / /a rw - ext4 /dev/sda1 rw\n"
                       "38 35 8:1 / /b rw ext4 /dev/sda1 rw\n"
                       "39 35 8:2 / /c rw - vfat\n"
                       "40 35 0:44 / /d\\134e rw - fuse.sshfs me@host:/home\\011x rw\n"
                       "41 35 8:3 / /f rw - xfs /dev/sda3");
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(mounts[0].mountPoint, "/mnt/my disk");
    EXPECT_EQ(mounts[0].root, "/mnt1");
    EXPECT_EQ(mounts[0].fsType, "ext3");
    EXPECT_EQ(mounts[1].mountPoint, "/d\\e");
    EXPECT_EQ(mounts[1].source, "me@host:/home\tx");
    EXPECT_EQ(mounts[2].superOptions, "");
}

TEST(MountTableTest, UnescapesOnlyWholeOctalEscapes) {
    EXPECT_EQ(unescapeMountField("a\\040b"), "a b");
    EXPECT_EQ(unescapeMountField("a\\04"), "a\\04");
    EXPECT_EQ(unescapeMountField("a\\049"), "a\\049");
    EXPECT_EQ(unescapeMountField("\\"), "\\");
    EXPECT_EQ(unescapeMountField("\\777"), "\\777");
}

TEST(MountTableTest, FindsOptionsByWholeName) {
    EXPECT_TRUE(hasMountOption("ro,relatime", "ro"));
    EXPECT_TRUE(hasMountOption("rw,nosuid,ro", "ro"));
    EXPECT_FALSE(hasMountOption("rw,errors=remount-ro", "ro"));
    EXPECT_FALSE(hasMountOption("", "ro"));
    EXPECT_FALSE(hasMountOption("rox", "ro"));

    MountEntry mount;
    mount.mountOptions = "rw,relatime";
    mount.superOptions = "ro";
    EXPECT_TRUE(isReadOnlyMount(mount)); // a file system mounted read-only is read-only everywhere
    mount.superOptions = "rw";
    EXPECT_FALSE(isReadOnlyMount(mount));
}

} // namespace
} // namespace platform
