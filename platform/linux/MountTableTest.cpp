#include "platform/linux/MountTable.h"

#include "platform/testing/TestTree.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

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

const MountEntry* mountAt(const std::vector<MountEntry>& table, const std::string& point) {
    const auto it = std::find_if(table.begin(), table.end(),
                                 [&](const MountEntry& m) { return m.mountPoint == point; });
    return it == table.end() ? nullptr : &*it;
}

TEST(MountTableTest, AFileOtherThanTheKernelsIsReadOnEveryCall) {
    test::TestTree files;
    files.file("mountinfo", "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n");
    MountInfoFile file((files / "mountinfo").string());
    EXPECT_EQ(file.table()->size(), 1u);
    files.file("mountinfo", "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 1 8:2 / /b rw - xfs b rw\n");
    EXPECT_EQ(file.table()->size(), 2u);
    EXPECT_TRUE(MountInfoFile((files / "missing").string()).table()->empty());
}

// The kernel's table, kept open, follows a mount, a remount and an unmount, and is not parsed
// again while nothing changes. Run in a child with a mount namespace of its own, on a file the
// parent opened: the child must not go on with the parent's descriptor.
TEST(MountTableTest, TheKernelsTableIsReadAgainWhenAMountChanges) {
    test::TestTree files;
    const std::string point = (files / "point").string();
    files.file("point/.keep", "");
    MountInfoFile file;
    ASSERT_FALSE(file.table()->empty());
    const pid_t child = ::fork();
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            ::_exit(77);
        }
        const auto before = file.table();
        const bool unchanged = file.table() == before && mountAt(*before, point) == nullptr;
        ::mount("tmpfs", point.c_str(), "tmpfs", 0, "size=64k");
        const auto mounted = file.table();
        const MountEntry* tmpfs = mountAt(*mounted, point);
        ::mount("tmpfs", point.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k");
        const auto readOnly = file.table();
        const MountEntry* remounted = mountAt(*readOnly, point);
        ::umount(point.c_str());
        const bool gone = mountAt(*file.table(), point) == nullptr;
        const bool held[] = {unchanged, tmpfs != nullptr && tmpfs->fsType == "tmpfs",
                             remounted != nullptr && isReadOnlyMount(*remounted), gone};
        for (int i = 0; i < 4; ++i) {
            if (!held[i]) {
                ::_exit(i + 1);
            }
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "no mount namespace (needs root)";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1 parsed again unchanged, 2 mount, 3 remount, 4 unmount";
}

} // namespace
} // namespace platform
