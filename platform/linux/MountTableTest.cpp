#include "platform/linux/MountTable.h"

#include "platform/linux/TestTree.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace platform {
namespace {

std::string recorded(const std::string& name) {
    std::ifstream in(test::linuxTestData() / name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(MountTableTest, ParsesTheRecordedTableOfAVirtioMachine) {
    const auto mounts = parseMountInfo(recorded("mountinfo-virtio-vm.txt"));
    ASSERT_EQ(mounts.size(), 19u);
    const MountEntry& root = mounts[5];
    EXPECT_EQ(root.id, 26u);
    EXPECT_EQ(root.parentId, 1u);
    EXPECT_EQ(root.major, 254u);
    EXPECT_EQ(root.minor, 0u);
    EXPECT_EQ(root.root, "/");
    EXPECT_EQ(root.mountPoint, "/");
    EXPECT_EQ(root.fsType, "ext4");
    EXPECT_EQ(root.source, "/dev/vda");
    EXPECT_EQ(root.mountOptions, "rw,relatime");
    EXPECT_EQ(root.superOptions, "rw,discard,resv_strict,resuid=65534,resgid=65534");
    EXPECT_EQ(mounts.back().fsType, "cgroup2");
}

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

TEST(MountTableTest, ClassifiesFileSystemTypes) {
    const struct {
        const char* type;
        FileSystemKind kind;
    } cases[] = {
        {"ext4", FileSystemKind::Local},      {"btrfs", FileSystemKind::Local},
        {"zfs", FileSystemKind::Local},       {"overlay", FileSystemKind::Local},
        {"fuseblk", FileSystemKind::Local},   {"nfs", FileSystemKind::Network},
        {"nfs4", FileSystemKind::Network},    {"cifs", FileSystemKind::Network},
        {"smb3", FileSystemKind::Network},    {"fuse.sshfs", FileSystemKind::Network},
        {"9p", FileSystemKind::Network},      {"virtiofs", FileSystemKind::Network},
        {"tmpfs", FileSystemKind::Memory},    {"ramfs", FileSystemKind::Memory},
        {"proc", FileSystemKind::Pseudo},     {"sysfs", FileSystemKind::Pseudo},
        {"cgroup2", FileSystemKind::Pseudo},  {"devpts", FileSystemKind::Pseudo},
        {"devtmpfs", FileSystemKind::Pseudo}, {"fuse.lxcfs", FileSystemKind::Pseudo},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(classifyFileSystem(c.type), c.kind) << c.type;
    }
}

} // namespace
} // namespace platform
