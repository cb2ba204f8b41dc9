#include "platform/linux/StorageView.h"

#include "platform/linux/FakeMachine.h"
#include "platform/linux/TestTree.h"

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

class StorageViewWorkstationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { shared = new test::FakeMachine; }
    static void TearDownTestSuite() {
        delete shared;
        shared = nullptr;
    }
    static test::FakeMachine* shared;
    const test::FakeMachine& machine = *shared;
};

test::FakeMachine* StorageViewWorkstationTest::shared = nullptr;

TEST_F(StorageViewWorkstationTest, LettersAWorkstation) {
    const StorageView view = StorageView::read(machine.roots());
    std::vector<std::string> letters;
    for (const auto& drive : view.letters()) {
        letters.push_back(describe(drive));
    }
    const std::vector<std::string> expected = {"C:sda2:0:2:3", "D:sda1:0:1:3", "E:nvme0n1p1:3:1:3",
                                               "F:dm-0:3:0:3", "G:::0:4",      "H:::0:6",
                                               "I:sdc1:1:1:2", "J:vdb:2:0:3",  "K:::0:5"};
    EXPECT_EQ(letters, expected);
    EXPECT_EQ(view.inventory().disks.size(), 4u);
    EXPECT_EQ(view.diskNumber("nvme0n1"), 3u);
    EXPECT_EQ(view.cdromNumber("sr0"), 0u);
    EXPECT_FALSE(view.diskNumber("loop0").has_value());
    EXPECT_EQ(view.findLetter(u'k')->cdrom, 0u);
    EXPECT_EQ(view.findLetter(u'Z'), nullptr);
}

TEST_F(StorageViewWorkstationTest, MapsLinuxPathsToLetterPaths) {
    const StorageView view = StorageView::read(machine.roots());
    const struct {
        const char* linux;
        std::optional<std::string> windows;
    } cases[] = {
        {"/etc/fstab", "C:\\etc\\fstab"},
        {"/home/user/bin/hwsnap", "E:\\user\\bin\\hwsnap"},
        {"/home", "E:\\"},
        // The same btrfs seen through another subvolume: the letter shows the @home subvolume
        // only, so the snapshots lie outside it.
        {"/snapshots/1", std::nullopt},
        {"/snap/core/1/bin/sh", std::nullopt}, // a loop device has no letter
        {"/dev/shm/x", std::nullopt},
        {"/media/stick/DCIM", "I:\\DCIM"},
        {"/net/share/docs", "G:\\docs"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(view.windowsPath(c.linux), c.windows) << c.linux;
    }
}

TEST_F(StorageViewWorkstationTest, FindsMountPointsUnderTheFilesRoot) {
    const StorageView view = StorageView::read(machine.roots());
    EXPECT_EQ(view.linuxPath(*view.findLetter(u'D'), ""), machine.files / "boot/efi");
    EXPECT_EQ(view.linuxPath(*view.findLetter(u'D'), "EFI\\BOOT"),
              machine.files / "boot/efi/EFI/BOOT");
    EXPECT_FALSE(view.linuxPath(*view.findLetter(u'K'), "").has_value());
}

TEST_F(StorageViewWorkstationTest, ResolvesMountsToBlockNodes) {
    const StorageRoots roots = machine.roots();
    MountEntry mount;
    mount.major = 8;
    mount.minor = 2;
    EXPECT_EQ(mountBlockName(roots, mount), "sda2");
    mount.major = 0; // btrfs: an anonymous device; the source names the node
    mount.minor = 45;
    mount.source = "/dev/nvme0n1p1";
    EXPECT_EQ(mountBlockName(roots, mount), "nvme0n1p1");
    mount.source = "/dev/mapper/vg-var";
    EXPECT_EQ(mountBlockName(roots, mount), "dm-0");
    mount.source = "/dev/root";
    EXPECT_FALSE(mountBlockName(roots, mount).has_value());
    mount.source = "server:/export";
    EXPECT_FALSE(mountBlockName(roots, mount).has_value());
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

TEST(StorageViewTest, LettersNothingWithoutAMountTable) {
    StorageRoots roots;
    roots.sys = test::linuxTestData() / "sys-virtio-vm";
    roots.mountInfo = test::linuxTestData() / "no-such-file";
    const StorageView view = StorageView::read(roots);
    EXPECT_TRUE(view.letters().empty());
    EXPECT_EQ(view.inventory().disks.size(), 1u);
    EXPECT_FALSE(view.windowsPath("/").has_value());
}

} // namespace
} // namespace platform
