#include "platform/linux/StorageView.h"

#include "platform/linux/testing/FakeSysfs.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

std::string describe(const DriveLetter& drive) {
    std::string text(1, drive.letter);
    text += ":" + drive.blockName + ":";
    for (const auto disk : drive.disks) {
        text += std::to_string(disk);
    }
    text += ":" + std::to_string(drive.partition) + ":" + std::to_string(drive.driveType());
    return text;
}

TEST(StorageViewTest, LettersTheRecordedVirtioMachine) {
    StorageRoots roots;
    roots.sys = test::linuxTestData() / "sys-virtio-vm";
    roots.mountInfo = test::linuxTestData() / "mountinfo-virtio-vm.txt";
    const StorageView view = StorageView::read(roots);
    ASSERT_EQ(view.letters().size(), 1u); // /dev/shm and the cgroup tmpfs are the system's own
    const DriveLetter& c = view.letters()[0];
    EXPECT_EQ(describe(c), "C:vda:0:0:3");
    EXPECT_EQ(view.mountOf(c)->fsType, "ext4");
    EXPECT_EQ(view.windowsPath("/usr/bin/hwsnap"), "C:\\usr\\bin\\hwsnap");
    EXPECT_EQ(view.windowsPath("/"), "C:\\");
}

TEST(StorageViewTest, LettersAContainerRootWithoutADisk) {
    test::TestTree files;
    files.file("mountinfo", "600 500 0:52 / / rw - overlay overlay rw,lowerdir=/a,upperdir=/b\n"
                            "601 600 0:53 / /proc rw - proc proc rw\n");
    StorageRoots roots;
    roots.sys = files / "no-sys";
    roots.mountInfo = files / "mountinfo";
    const StorageView view = StorageView::read(roots);
    ASSERT_EQ(view.letters().size(), 1u);
    EXPECT_EQ(view.letters()[0].kind, VolumeKind::Unbacked);
    EXPECT_EQ(view.letters()[0].driveType(), DRIVE_FIXED);
    EXPECT_TRUE(view.letters()[0].disks.empty());
}

} // namespace
} // namespace platform
