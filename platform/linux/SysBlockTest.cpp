#include "platform/linux/SysBlock.h"

#include "platform/linux/DriveIdentity.h"
#include "platform/linux/DriveTemperatures.h"
#include "platform/linux/WindowsNames.h"
#include "platform/linux/testing/FakeSysfs.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

using test::FakeDisk;
using test::TestTree;

std::filesystem::path recordedVm() {
    return test::linuxTestData() / "sys-virtio-vm";
}

TEST(SysBlockTest, ListsTheVirtioDiskOfTheRecordedMachineOnly) {
    const BlockInventory inventory = scanBlockInventory(recordedVm());
    ASSERT_EQ(inventory.disks.size(), 1u); // loop0 and zram0 are no disk drives
    EXPECT_TRUE(inventory.cdroms.empty());
    const BlockDevice& vda = inventory.disks[0];
    EXPECT_EQ(vda.major, 254u);
    EXPECT_EQ(vda.sectors, 536870912u);
    EXPECT_EQ(vda.serial, "180663671311735");
    EXPECT_EQ(vda.bus, StorageBus::Virtio);
    // The virtio device's "vendor" is a PCI id, not a maker's name.
    EXPECT_EQ(vda.vendor, "");
    EXPECT_EQ(vda.model, "");
}

TEST(SysBlockTest, ReadsEachKindOfDisk) {
    TestTree sys;
    FakeDisk sata = test::sataDisk("sda", 1, "8:0");
    test::addDisk(sys, sata);
    test::setSataSpeed(sys, 1, "6.0 Gbps");
    test::addDisk(sys, test::usbDisk("sdc", "8:32"));
    test::addDisk(sys, test::nvmeDisk("nvme0n1", "nvme0", "259:0"));
    test::addDisk(sys, test::virtioDisk("vdb", "252:16"));
    test::addDisk(sys, test::cdromDrive("sr0", "11:0"));

    const BlockInventory inventory = scanBlockInventory(sys.root());
    ASSERT_EQ(inventory.disks.size(), 4u);
    ASSERT_EQ(inventory.cdroms.size(), 1u);
    const struct {
        const char* name;
        StorageBus bus;
        const char* enumerator;
        std::uint32_t busType;
        const char* friendly;
        const char* serial;
    } cases[] = {
        {"sda", StorageBus::Sata, "SCSI", 0x0B, "Samsung SSD 860", "S3Z9NB0K123456A"},
        {"sdc", StorageBus::Usb, "USBSTOR", 0x07, "SanDisk Ultra", "4C530001230917117043"},
        {"vdb", StorageBus::Virtio, "SCSI", 0x01, "Virtio Block Device", "vol-0a1b2c3d"},
        {"nvme0n1", StorageBus::Nvme, "SCSI", 0x11, "Samsung SSD 970 EVO Plus 500GB",
         "S4EVNX0N812345K"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const BlockDevice& disk = inventory.disks[i];
        EXPECT_EQ(disk.name, cases[i].name);
        EXPECT_EQ(disk.bus, cases[i].bus) << disk.name;
        EXPECT_EQ(enumeratorName(disk.bus), cases[i].enumerator) << disk.name;
        EXPECT_EQ(windowsBusType(disk.bus), cases[i].busType) << disk.name;
        EXPECT_EQ(friendlyName(disk), cases[i].friendly) << disk.name;
        EXPECT_EQ(disk.serial, cases[i].serial) << disk.name;
    }
    EXPECT_EQ(inventory.disks[0].scsiAddress, "0:0:0:0");
    EXPECT_TRUE(inventory.disks[0].commandQueueing);
    EXPECT_TRUE(inventory.disks[1].removable);
    EXPECT_EQ(inventory.disks[3].revision, "2B2QEXM7");
    EXPECT_EQ(inventory.cdroms[0].logicalBlockSize, 2048u);
}

std::vector<std::uint16_t> identifyWords() {
    std::vector<std::uint16_t> words(256, 0);
    words[0] = 0x0040;
    const std::string firmware = "82.00A82";
    const std::string model = "WDC WD40EFRX-68N32N0                    ";
    for (std::size_t i = 0; i < 4; ++i) {
        words[23 + i] = static_cast<std::uint16_t>((firmware[2 * i] << 8) | firmware[2 * i + 1]);
    }
    for (std::size_t i = 0; i < 20; ++i) {
        words[27 + i] = static_cast<std::uint16_t>((model[2 * i] << 8) | model[2 * i + 1]);
    }
    words[255] = 0x12A5;
    return words;
}

TEST(SysBlockTest, FormsInstanceIdentifiersAsTheWindowsEnumeratorsDo) {
    TestTree sys;
    test::addDisk(sys, test::sataDisk("sda", 1, "8:0"));
    test::setSataSpeed(sys, 1, "3.0 Gbps");
    test::addDisk(sys, test::sataDisk("sdb", 2, "8:16"));
    test::setSataSpeed(sys, 2, "<unknown>");
    test::setAtaId(sys, 2, 0, identifyWords()); // texts longer than the SCSI translation's
    test::addDisk(sys, test::usbDisk("sdc", "8:32"));
    test::addDisk(sys, test::nvmeDisk("nvme0n1", "nvme0", "259:0"));
    const auto disks = scanBlockInventory(sys.root()).disks;
    ASSERT_EQ(disks.size(), 4u);

    const std::string sata = deviceInstanceId(disks[0]);
    EXPECT_TRUE(sata.starts_with("SCSI\\DISK&VEN_ATA&PROD_SAMSUNG_SSD_860\\4&")) << sata;
    EXPECT_TRUE(sata.ends_with("&0&000000")) << sata;

    const std::string ide = deviceInstanceId(disks[1]);
    EXPECT_EQ(ide.substr(0, ide.find('\\', 4)),
              "IDE\\DISKWDC_WD40EFRX-68N32N0____________________82.00A82");
    EXPECT_EQ(friendlyName(disks[1]), "WDC WD40EFRX-68N32N0");
    EXPECT_TRUE(ide.ends_with("&0&0.0.0")) << ide;

    EXPECT_EQ(deviceInstanceId(disks[2]),
              "USBSTOR\\DISK&VEN_SANDISK&PROD_ULTRA&REV_1.00\\4C530001230917117043&0");
    const std::string nvme = deviceInstanceId(disks[3]);
    EXPECT_TRUE(nvme.starts_with("SCSI\\DISK&VEN_&PROD_SAMSUNG_SSD_970_EVO_PLUS_500GB\\4&"))
        << nvme;

    // Two disks on different ports never share an identifier.
    EXPECT_NE(sata.substr(sata.rfind('\\')), ide.substr(ide.rfind('\\')));
    EXPECT_EQ(diskInterfacePath("USBSTOR\\DISK&VEN_X\\A&0"),
              "\\\\?\\usbstor#disk&ven_x#a&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
}

TEST(SysBlockTest, LeavesOutVirtualStackedAndHiddenDevices) {
    const struct {
        const char* name;
        bool disk;
    } cases[] = {{"sda", true},   {"vda", true},    {"nvme0n1", true},       {"mmcblk0", true},
                 {"xvda", true},  {"loop0", false}, {"ram0", false},         {"zram0", false},
                 {"dm-0", false}, {"md127", false}, {"nbd3", false},         {"zd0", false},
                 {"rbd0", false}, {"drbd1", false}, {"bcache0", false},      {"nullb0", false},
                 {"fd0", false},  {"sr0", false},   {"mmcblk0boot0", false}, {"mmcblk0rpmb", false},
                 {"", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(isInventoryDiskName(c.name), c.disk) << c.name;
    }

    TestTree sys;
    FakeDisk path = test::nvmeDisk("nvme0c0n1", "nvme0", "259:1");
    test::addDisk(sys, path);
    sys.file(test::blockDirOf(path) + "/hidden", "1\n");
    test::addVirtual(sys, "loop0", "7:0", 2048);
    EXPECT_TRUE(scanBlockInventory(sys.root()).disks.empty());
}

TEST(SysBlockTest, ClassifiesBusesFromTheDevicePath) {
    const struct {
        const char* name;
        const char* path;
        const char* subsystem;
        const char* speed; // null: no link attribute
        StorageBus bus;
    } cases[] = {
        {"sda", "devices/pci0000:00/0000:00:17.0/ata2/host1/target1:0:0/1:0:0:0/block/sda", "scsi",
         "6.0 Gbps", StorageBus::Sata},
        {"sda", "devices/pci0000:00/0000:00:1f.1/ata1/host0/target0:0:1/0:0:1:0/block/sda", "scsi",
         "<unknown>", StorageBus::Pata},
        {"sdb",
         "devices/pci0000:00/0000:00:14.0/usb2/2-3/2-3:1.0/host4/target4:0:0/4:0:0:0/block/sdb",
         "scsi", nullptr, StorageBus::Usb},
        {"sdc",
         "devices/pci0000:00/0000:03:00.0/host0/port-0:0/end_device-0:0/target0:0:0/0:0:0:0/block/"
         "sdc",
         "scsi", nullptr, StorageBus::Sas},
        {"sdd", "devices/pci0000:00/0000:05:00.0/host3/rport-3:0-0/target3:0:0/3:0:0:1/block/sdd",
         "scsi", nullptr, StorageBus::Fibre},
        {"sdf", "devices/pci0000:00/0000:00:04.0/virtio2/host0/target0:0:0/0:0:0:0/block/sdf",
         "scsi", nullptr, StorageBus::Scsi},
        {"vda", "devices/pci0000:00/0000:00:02.0/virtio1/block/vda", "virtio", nullptr,
         StorageBus::Virtio},
        {"nvme0n1", "devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1", "nvme",
         nullptr, StorageBus::Nvme},
        {"pmem0", "devices/LNXSYSTM:00/ndbus0/region0/namespace0.0/block/pmem0", "nd", nullptr,
         StorageBus::Unknown},
    };
    for (const auto& c : cases) {
        BusClues clues;
        clues.name = c.name;
        clues.devicePath = c.path;
        clues.subsystem = c.subsystem;
        if (c.speed != nullptr) {
            clues.sataSpeed = c.speed;
        }
        EXPECT_EQ(classifyBus(clues), c.bus) << c.path;
    }
    BusClues mmc;
    mmc.name = "mmcblk0";
    mmc.mmcType = "MMC";
    EXPECT_EQ(classifyBus(mmc), StorageBus::Mmc);
    mmc.mmcType = "SD";
    EXPECT_EQ(classifyBus(mmc), StorageBus::Sd);
}

TEST(SysBlockTest, PlacesPartitionsMappersAndArraysOnTheirDisks) {
    TestTree sys;
    FakeDisk sda = test::sataDisk("sda", 1, "8:0");
    test::addDisk(sys, sda);
    test::addPartition(sys, sda, 1, "8:1", 1024);
    test::addPartition(sys, sda, 2, "8:2", 4096);
    FakeDisk nvme = test::nvmeDisk("nvme0n1", "nvme0", "259:0");
    test::addDisk(sys, nvme);
    test::addPartition(sys, nvme, 3, "259:3", 4096);
    test::addVirtual(sys, "dm-0", "253:0", 4096, {"sda2"});
    test::addVirtual(sys, "dm-1", "253:1", 4096, {"dm-0"});
    test::addVirtual(sys, "md0", "9:0", 8192, {"sda1", "nvme0n1p3"});

    const struct {
        const char* node;
        std::vector<std::string> wholes;
        std::uint32_t partition;
    } cases[] = {
        {"sda", {"sda"}, 0},  {"sda2", {"sda"}, 2}, {"nvme0n1p3", {"nvme0n1"}, 3},
        {"dm-0", {"sda"}, 0}, {"dm-1", {"sda"}, 0}, {"md0", {"nvme0n1", "sda"}, 0},
        {"missing", {}, 0},
    };
    for (const auto& c : cases) {
        const BlockPlacement placement = placeBlockDevice(sys.root(), c.node);
        auto wholes = placement.wholeDevices;
        std::sort(wholes.begin(), wholes.end());
        auto expected = c.wholes;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(wholes, expected) << c.node;
        EXPECT_EQ(placement.partition, c.partition) << c.node;
    }
}

TEST(SysBlockTest, ReadsTheIdentifyBlockLibataRecorded) {
    TestTree sys;
    test::addDisk(sys, test::sataDisk("sda", 1, "8:0"));
    test::setAtaId(sys, 1, 0, identifyWords());
    test::addDisk(sys, test::sataDisk("sdb", 2, "8:16"));
    const auto disks = scanBlockInventory(sys.root()).disks;
    const auto block = readAtaIdentify(disks[0]);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ((*block)[0], 0x40);
    EXPECT_EQ((*block)[54], 'D'); // word 27: "WD" with the first character in the high byte
    EXPECT_EQ((*block)[55], 'W');
    EXPECT_EQ((*block)[510], 0xA5);
    EXPECT_EQ((*block)[511], 0x12);
    EXPECT_FALSE(readAtaIdentify(disks[1]).has_value());
    EXPECT_FALSE(readAtaIdentify(scanBlockInventory(recordedVm()).disks.at(0)).has_value());
}

TEST(SysBlockTest, AcceptsOnlyWholeIdentifyTexts) {
    std::string text;
    for (int i = 0; i < 256; ++i) {
        text += (i % 8 == 0 && i > 0) ? "\n" : (i > 0 ? " " : "");
        text += "00ff";
    }
    EXPECT_TRUE(parseAtaIdText(text).has_value());
    EXPECT_FALSE(parseAtaIdText(text + " 0000").has_value());                  // 257 words
    EXPECT_FALSE(parseAtaIdText(text.substr(0, text.size() - 5)).has_value()); // 255 words
    std::string bad = text;
    bad[0] = 'g';
    EXPECT_FALSE(parseAtaIdText(bad).has_value());
    std::string wide = text;
    wide.insert(0, "0");
    EXPECT_FALSE(parseAtaIdText(wide).has_value()); // a five-digit word
    EXPECT_FALSE(parseAtaIdText("").has_value());
}

TEST(SysBlockTest, ReadsCachedVpdPagesOnlyWhenTheyAreTheRightPage) {
    TestTree sys;
    FakeDisk sata = test::sataDisk("sda", 1, "8:0");
    test::addDisk(sys, sata);
    sys.bytes(sata.parent + "/vpd_pg83", {0x00, 0x80, 0x00, 0x00});
    const auto disk = scanBlockInventory(sys.root()).disks.at(0);
    EXPECT_TRUE(readVpdPage(disk, 0x80).has_value());
    EXPECT_FALSE(readVpdPage(disk, 0x83).has_value()); // claims to be page 80h
    EXPECT_FALSE(readVpdPage(disk, 0xB0).has_value());
}

TEST(SysBlockTest, TrimsAndBoundsTheSerialOfACachedVpdPage) {
    TestTree sys;
    FakeDisk sata = test::sataDisk("sda", 1, "8:0");
    sata.vpd80 = {0x00, 0x80, 0x00, 0xFF, ' ', ' ', 'A', 'B', 0x01, 'C'};
    test::addDisk(sys, sata);
    EXPECT_EQ(scanBlockInventory(sys.root()).disks.at(0).serial, "AB C");
}

TEST(SysBlockTest, ReadsNoDeviceForAnUnknownOrUnsafeName) {
    EXPECT_FALSE(readBlockDevice(recordedVm(), "sdq").has_value());
    EXPECT_FALSE(readBlockDevice(recordedVm(), "../block/vda").has_value());
    EXPECT_FALSE(readBlockDevice(recordedVm(), "").has_value());
    EXPECT_TRUE(readBlockDevice(recordedVm(), "vda").has_value());
}

} // namespace
} // namespace platform
