// What the Linux facts decide about a workstation (FakeSysfs.h); how the emulator answers
// from facts is tested once, through the simulated machine.

#include "platform/linux/LinuxBackend.h"

#include "platform/WideText.h"
#include "platform/linux/SysBlock.h"
#include "platform/linux/WindowsNames.h"
#include "platform/linux/testing/FakeSysfs.h"
#include "platform/testing/PassThroughBlocks.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace platform {
namespace {

using namespace test;

class LinuxStorageFactsTest : public ::testing::Test {
protected:
    // One machine for the suite: laying it out is slow on some disks, and no test changes it.
    static void SetUpTestSuite() { shared = new FakeMachine; }
    static void TearDownTestSuite() {
        delete shared;
        shared = nullptr;
    }

    static FakeMachine* shared;
    FakeMachine& machine = *shared;
    LinuxBackend storage{machine.roots()};
    std::shared_ptr<const StorageFacts> facts = LinuxStorageFacts(machine.roots()).facts();

    std::u16string interfacePathOf(std::size_t disk) {
        const auto disks = scanBlockInventory(machine.sys.root()).disks;
        return utf8ToUtf16(diskInterfacePath(deviceInstanceId(disks.at(disk))));
    }
};

FakeMachine* LinuxStorageFactsTest::shared = nullptr;

TEST_F(LinuxStorageFactsTest, NamesEachDiskAndCdRomDrive) {
    std::vector<std::u16string> paths;
    for (const auto& [path, disk] : facts->disks) {
        paths.push_back(path);
    }
    ASSERT_EQ(paths.size(), 9u); // each disk also by its interface path
    EXPECT_EQ(std::vector(paths.begin(), paths.begin() + 5),
              (std::vector<std::u16string>{u"\\\\.\\CdRom0", u"\\\\.\\PhysicalDrive0",
                                           u"\\\\.\\PhysicalDrive1", u"\\\\.\\PhysicalDrive2",
                                           u"\\\\.\\PhysicalDrive3"}));
    EXPECT_EQ(facts->disks.at(interfacePathOf(2)), facts->disks.at(u"\\\\.\\PhysicalDrive2"));
    const auto cdrom = facts->disks.at(u"\\\\.\\CdRom0");
    EXPECT_EQ(cdrom->deviceNumber->type, FILE_DEVICE_CD_ROM);
    EXPECT_FALSE(cdrom->length || cdrom->geometry); // idle: no medium
    EXPECT_EQ(facts->disks.at(u"\\\\.\\PhysicalDrive3")->deviceNumber->number, 3u);
}

TEST_F(LinuxStorageFactsTest, NumbersLettersByTheDisksTheyLieOn) {
    const struct {
        char letter;
        UINT type;
        std::optional<std::array<DWORD, 3>> number; // type, number, partition
    } cases[] = {
        {'C', DRIVE_FIXED, std::array<DWORD, 3>{FILE_DEVICE_DISK, 0, 2}},
        {'D', DRIVE_FIXED, std::array<DWORD, 3>{FILE_DEVICE_DISK, 0, 1}},
        {'E', DRIVE_FIXED, std::array<DWORD, 3>{FILE_DEVICE_DISK, 3, 1}},
        {'F', DRIVE_FIXED, std::array<DWORD, 3>{FILE_DEVICE_DISK, 3, 0}}, // LVM on nvme0n1p2
        {'G', DRIVE_REMOTE, std::nullopt},
        {'H', DRIVE_RAMDISK, std::nullopt},
        {'I', DRIVE_REMOVABLE, std::array<DWORD, 3>{FILE_DEVICE_DISK, 1, 1}},
        {'J', DRIVE_FIXED, std::array<DWORD, 3>{FILE_DEVICE_DISK, 2, 0}},
        {'K', DRIVE_CDROM, std::array<DWORD, 3>{FILE_DEVICE_CD_ROM, 0, 0xFFFFFFFFu}},
    };
    ASSERT_EQ(facts->letters.size(), std::size(cases));
    for (const auto& c : cases) {
        const LetterFacts& letter = facts->letters.at(c.letter);
        EXPECT_EQ(letter.type, c.type) << c.letter;
        EXPECT_EQ(letter.network, c.letter == 'G' ? 1 : 0) << c.letter;
        EXPECT_TRUE(letter.openable) << c.letter; // an idle CD-ROM drive opens too
        ASSERT_EQ(letter.deviceNumber.has_value(), c.number.has_value()) << c.letter;
        if (c.number) {
            EXPECT_EQ(letter.deviceNumber->type, (*c.number)[0]) << c.letter;
            EXPECT_EQ(letter.deviceNumber->number, (*c.number)[1]) << c.letter;
            EXPECT_EQ(letter.deviceNumber->partition, (*c.number)[2]) << c.letter;
        }
    }
    EXPECT_EQ(storage.getDriveType(nullptr), DRIVE_FIXED); // the working directory's, /usr/bin
    EXPECT_EQ(facts->systemDirectory, u"C:\\");
}

TEST_F(LinuxStorageFactsTest, ReadsVolumesFromSuperblocks) {
    const LetterFacts& root = facts->letters.at('C');
    ASSERT_TRUE(root.volume);
    EXPECT_EQ(root.volume->label, u"Root Disk");
    EXPECT_EQ(root.volume->fileSystem, u"ext4");
    EXPECT_TRUE(root.space);
    EXPECT_FALSE(facts->letters.at('K').volume); // the idle CD-ROM drive
    EXPECT_EQ(facts->letters.at('K').volumeError, ERROR_NOT_READY);
}

TEST_F(LinuxStorageFactsTest, DescribesTheDeviceAsTheStorageDriversDo) {
    const std::vector<std::uint8_t>& out = *facts->disks.at(u"\\\\.\\PhysicalDrive0")->descriptor;
    STORAGE_DEVICE_DESCRIPTOR descriptor{};
    std::memcpy(&descriptor, out.data(), sizeof(descriptor));
    EXPECT_EQ(descriptor.Size, out.size());
    EXPECT_EQ(descriptor.CommandQueueing, 1);
    EXPECT_EQ(static_cast<int>(descriptor.BusType), 0x0B);
    const auto textAt = [&out](DWORD offset) {
        return std::string(reinterpret_cast<const char*>(&out[offset]));
    };
    EXPECT_EQ(descriptor.VendorIdOffset, 40u);
    EXPECT_EQ(textAt(descriptor.VendorIdOffset), "ATA");
    EXPECT_EQ(textAt(descriptor.ProductIdOffset), "Samsung SSD 860");
    EXPECT_EQ(textAt(descriptor.ProductRevisionOffset), "3B6Q");
    EXPECT_EQ(textAt(descriptor.SerialNumberOffset), "S3Z9NB0K123456A");
    EXPECT_EQ(descriptor.Size, 40u + 4 + 16 + 5 + 16);
}

TEST_F(LinuxStorageFactsTest, AnswersScsiIdentificationWithoutTheDevice) {
    const HANDLE handle =
        storage.createFile(u"\\\\.\\PhysicalDrive0", GENERIC_READ, 0, OPEN_EXISTING, 0);
    DWORD returned = 0;
    Block inquiry = scsiBlock({0x12, 0, 0, 0, 36, 0}, 36);
    ASSERT_TRUE(send(storage, handle, win32::kIoctlScsiPassThrough, inquiry, &returned));
    EXPECT_EQ(headerOf<win32::ScsiPassThrough>(inquiry).ScsiStatus, 0);
    EXPECT_EQ(std::string(inquiry.begin() + kScsiData + 8, inquiry.begin() + kScsiData + 32),
              "ATA     Samsung SSD 860 ");

    Block serial = scsiBlock({0x12, 1, 0x80, 0, 255, 0}, 255);
    ASSERT_TRUE(send(storage, handle, win32::kIoctlScsiPassThrough, serial, &returned));
    // The recorded page, verbatim.
    EXPECT_EQ(headerOf<win32::ScsiPassThrough>(serial).DataTransferLength, 24u);
    EXPECT_EQ(std::string(serial.begin() + kScsiData + 4, serial.begin() + kScsiData + 19),
              "S3Z9NB0K123456A");

    Block log = scsiBlock({0x4D, 0, 0x4D, 0, 0, 0, 0, 0, 64, 0}, 64);
    ASSERT_TRUE(send(storage, handle, win32::kIoctlScsiPassThrough, log, &returned));
    EXPECT_EQ(log[kScsiData + 9], 36); // hwmon's temperature

    // A command the sysfs facts cannot answer needs the device, which this node is not.
    Block read = scsiBlock({0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 256);
    ASSERT_TRUE(send(storage, handle, win32::kIoctlScsiPassThrough, read, &returned));
    EXPECT_EQ(headerOf<win32::ScsiPassThrough>(read).ScsiStatus, 2);
    EXPECT_EQ(read[sizeof(win32::ScsiPassThrough) + 2], 0x05); // ILLEGAL REQUEST
    storage.closeHandle(handle);
}

TEST_F(LinuxStorageFactsTest, AnswersAtaIdentifyFromWhatLibataRecorded) {
    const HANDLE sata =
        storage.createFile(u"\\\\.\\PhysicalDrive0", GENERIC_READ, 0, OPEN_EXISTING, 0);
    Block identify = ataBlock(kIdentifyDevice, 512);
    DWORD returned = 0;
    ASSERT_TRUE(send(storage, sata, win32::kIoctlAtaPassThrough, identify, &returned));
    EXPECT_EQ(headerOf<win32::AtaPassThroughEx>(identify).CurrentTaskFile[6], 0x50);
    EXPECT_EQ(identify[kAtaData], 0x40);
    EXPECT_EQ(identify[kAtaData + 510], 0xA5);

    // SMART needs the device itself.
    Block smart = ataBlock(kSmartRead, 512);
    EXPECT_FALSE(send(storage, sata, win32::kIoctlAtaPassThrough, smart, &returned));
    EXPECT_EQ(lastError(), ERROR_ACCESS_DENIED);
    storage.closeHandle(sata);
}

std::u16string textOf(const DeviceFacts& device, DWORD property) {
    const RegistryValue& value = device.properties.at(property);
    EXPECT_EQ(value.type, REG_SZ);
    return std::u16string(reinterpret_cast<const char16_t*>(value.data.data()));
}

TEST_F(LinuxStorageFactsTest, RecordsTheDiskDrivesAsPlugAndPlayDevices) {
    const struct {
        const char16_t* friendly;
        const char16_t* enumerator;
        bool removable;
    } expected[] = {{u"Samsung SSD 860", u"SCSI", false},
                    {u"SanDisk Ultra", u"USBSTOR", true},
                    {u"Virtio Block Device", u"SCSI", false},
                    {u"Samsung SSD 970 EVO Plus 500GB", u"SCSI", false}};
    // The CD-ROM drive and the loop device are no disk drives.
    ASSERT_EQ(facts->devices.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const DeviceFacts& device = facts->devices[i];
        EXPECT_EQ(textOf(device, SPDRP_FRIENDLYNAME), expected[i].friendly);
        EXPECT_EQ(textOf(device, SPDRP_ENUMERATOR_NAME), expected[i].enumerator);
        EXPECT_EQ(device.interfacePath, interfacePathOf(i));
        EXPECT_GT(device.node, 1u); // 0 is no node, 1 the root
        for (std::size_t j = 0; j < i; ++j) {
            EXPECT_NE(device.node, facts->devices[j].node);
        }
        // Present, started and never hidden from the device manager.
        const ULONG status = device.status.value_or(0);
        EXPECT_EQ(status & (DN_NO_SHOW_IN_DM | DN_MOVED), 0u);
        EXPECT_EQ(status & 0xAu, 0xAu); // driver loaded, started
        EXPECT_EQ((status & 0x4000u) != 0, expected[i].removable);
    }
}

} // namespace
} // namespace platform
