#include "platform/linux/LinuxBackend.h"

#include "platform/PassThrough.h"
#include "platform/WideText.h"
#include "platform/linux/SysBlock.h"
#include "platform/linux/WindowsNames.h"
#include "platform/linux/testing/FakeMachine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace platform {
namespace {

constexpr DWORD kErrorBadLength = 24;
constexpr DWORD kErrorPathNotFound = 3;
constexpr DWORD kErrorDirNotRoot = 144;

class LinuxStorageFactsTest : public ::testing::Test {
protected:
    // One machine for the suite: laying it out is slow on some disks, and no test changes it
    // for good.
    static void SetUpTestSuite() { shared = new test::FakeMachine; }
    static void TearDownTestSuite() {
        delete shared;
        shared = nullptr;
    }

    static test::FakeMachine* shared;
    test::FakeMachine& machine = *shared;
    LinuxBackend storage{machine.roots()};

    HANDLE open(const std::u16string& name) {
        return storage.createFile(name.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    }

    std::u16string interfacePathOf(std::size_t disk) {
        const auto disks = scanBlockInventory(machine.sys.root()).disks;
        return utf8ToUtf16(diskInterfacePath(deviceInstanceId(disks.at(disk))));
    }

    std::optional<STORAGE_DEVICE_NUMBER> deviceNumber(HANDLE handle) {
        STORAGE_DEVICE_NUMBER number{};
        DWORD returned = 0;
        if (!storage.deviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                                     sizeof(number), &returned)) {
            return std::nullopt;
        }
        EXPECT_EQ(returned, sizeof(number));
        return number;
    }

    BOOL queryProperty(HANDLE handle, int property, std::vector<std::uint8_t>& out,
                       DWORD& returned) {
        STORAGE_PROPERTY_QUERY query{};
        query.PropertyId = static_cast<STORAGE_PROPERTY_ID>(property);
        query.QueryType = PropertyStandardQuery;
        return storage.deviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query),
                                       out.data(), static_cast<DWORD>(out.size()), &returned);
    }
};

test::FakeMachine* LinuxStorageFactsTest::shared = nullptr;

TEST_F(LinuxStorageFactsTest, OpensDisksVolumesAndInterfacePaths) {
    const struct {
        std::u16string name;
        bool opens;
    } cases[] = {
        {u"\\\\.\\C:", true},
        {u"\\\\?\\J:", true},
        {u"\\\\.\\K:", true}, // an idle CD-ROM drive still opens
        {u"\\\\.\\Q:", false},
        {u"\\\\.\\PhysicalDrive0", true},
        {u"\\\\.\\PHYSICALDRIVE3", true},
        {u"\\\\.\\PhysicalDrive4", false},
        {u"\\\\.\\PhysicalDrive0x", false},
        {u"\\\\.\\CdRom0", true},
        {u"\\\\.\\CdRom1", false},
        {interfacePathOf(2), true},
        {u"C:\\", false},
        {u"", false},
    };
    for (const auto& c : cases) {
        const HANDLE handle = open(c.name);
        EXPECT_EQ(handle != INVALID_HANDLE_VALUE, c.opens) << utf16ToUtf8(c.name);
        if (handle != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(storage.closeHandle(handle));
        } else {
            EXPECT_EQ(lastError(), ERROR_FILE_NOT_FOUND) << utf16ToUtf8(c.name);
        }
    }
    EXPECT_EQ(storage.openHandleCount(), 0u);
}

TEST_F(LinuxStorageFactsTest, ClosesEachHandleOnce) {
    const HANDLE first = open(u"\\\\.\\PhysicalDrive0");
    const HANDLE second = open(u"\\\\.\\PhysicalDrive0");
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(first, second);
    EXPECT_EQ(storage.openHandleCount(), 2u);
    EXPECT_TRUE(storage.closeHandle(first));
    EXPECT_FALSE(storage.closeHandle(first));
    EXPECT_EQ(lastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(storage.closeHandle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(storage.closeHandle(nullptr));
    EXPECT_EQ(storage.openHandleCount(), 1u);
    DWORD returned = 7;
    STORAGE_DEVICE_NUMBER number{};
    EXPECT_FALSE(storage.deviceIoControl(first, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0,
                                         &number, sizeof(number), &returned));
    EXPECT_EQ(lastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(returned, 0u);
    EXPECT_TRUE(storage.closeHandle(second));
}

TEST_F(LinuxStorageFactsTest, NumbersLettersByTheDisksTheyLieOn) {
    const struct {
        std::u16string name;
        std::optional<std::array<DWORD, 3>> number; // type, number, partition
    } cases[] = {
        {u"\\\\.\\C:", std::array<DWORD, 3>{FILE_DEVICE_DISK, 0, 2}},
        {u"\\\\.\\D:", std::array<DWORD, 3>{FILE_DEVICE_DISK, 0, 1}},
        {u"\\\\.\\E:", std::array<DWORD, 3>{FILE_DEVICE_DISK, 3, 1}},
        {u"\\\\.\\F:", std::array<DWORD, 3>{FILE_DEVICE_DISK, 3, 0}}, // LVM on nvme0n1p2
        {u"\\\\.\\I:", std::array<DWORD, 3>{FILE_DEVICE_DISK, 1, 1}},
        {u"\\\\.\\J:", std::array<DWORD, 3>{FILE_DEVICE_DISK, 2, 0}},
        {u"\\\\.\\K:", std::array<DWORD, 3>{FILE_DEVICE_CD_ROM, 0, 0xFFFFFFFFu}},
        {u"\\\\.\\G:", std::nullopt}, // network share
        {u"\\\\.\\CdRom0", std::array<DWORD, 3>{FILE_DEVICE_CD_ROM, 0, 0xFFFFFFFFu}},
    };
    for (const auto& c : cases) {
        const HANDLE handle = open(c.name);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << utf16ToUtf8(c.name);
        const auto number = deviceNumber(handle);
        if (c.number) {
            ASSERT_TRUE(number.has_value()) << utf16ToUtf8(c.name);
            EXPECT_EQ(number->DeviceType, (*c.number)[0]) << utf16ToUtf8(c.name);
            EXPECT_EQ(number->DeviceNumber, (*c.number)[1]) << utf16ToUtf8(c.name);
            EXPECT_EQ(number->PartitionNumber, (*c.number)[2]) << utf16ToUtf8(c.name);
        } else {
            EXPECT_FALSE(number.has_value());
            EXPECT_EQ(lastError(), ERROR_INVALID_FUNCTION);
        }
        storage.closeHandle(handle);
    }
}

TEST_F(LinuxStorageFactsTest, RefusesOutputBuffersTooSmall) {
    const HANDLE handle = open(u"\\\\.\\PhysicalDrive0");
    std::uint8_t buffer[64] = {};
    DWORD returned = 0;
    const struct {
        DWORD code;
        DWORD size;
    } cases[] = {{IOCTL_STORAGE_GET_DEVICE_NUMBER, 11},
                 {IOCTL_DISK_GET_LENGTH_INFO, 7},
                 {IOCTL_DISK_GET_DRIVE_GEOMETRY, 23}};
    for (const auto& c : cases) {
        EXPECT_FALSE(
            storage.deviceIoControl(handle, c.code, nullptr, 0, buffer, c.size, &returned));
        EXPECT_EQ(lastError(), ERROR_INSUFFICIENT_BUFFER) << c.code;
        EXPECT_EQ(returned, 0u);
    }
    EXPECT_FALSE(storage.deviceIoControl(handle, 0x00070048, nullptr, 0, buffer, 64, &returned));
    EXPECT_EQ(lastError(), ERROR_INVALID_FUNCTION);
    storage.closeHandle(handle);
}

TEST_F(LinuxStorageFactsTest, DescribesTheDeviceAsTheStorageDriversDo) {
    const HANDLE handle = open(u"\\\\.\\PhysicalDrive0");
    std::vector<std::uint8_t> out(512, 0xCC);
    DWORD returned = 0;
    ASSERT_TRUE(queryProperty(handle, StorageDeviceProperty, out, returned));
    STORAGE_DEVICE_DESCRIPTOR descriptor{};
    std::memcpy(&descriptor, out.data(), sizeof(descriptor));
    EXPECT_EQ(returned, descriptor.Size);
    EXPECT_EQ(descriptor.CommandQueueing, 1);
    EXPECT_EQ(static_cast<int>(descriptor.BusType), 0x0B);
    const auto textAt = [&out](DWORD offset) {
        return offset == 0 ? std::string()
                           : std::string(reinterpret_cast<const char*>(&out[offset]));
    };
    EXPECT_EQ(descriptor.VendorIdOffset, 40u);
    EXPECT_EQ(textAt(descriptor.VendorIdOffset), "ATA");
    EXPECT_EQ(textAt(descriptor.ProductIdOffset), "Samsung SSD 860");
    EXPECT_EQ(textAt(descriptor.ProductRevisionOffset), "3B6Q");
    EXPECT_EQ(textAt(descriptor.SerialNumberOffset), "S3Z9NB0K123456A");
    EXPECT_EQ(descriptor.Size, 40u + 4 + 16 + 5 + 16);

    // The fixed part alone, with Size telling the whole length.
    std::vector<std::uint8_t> fixed(40);
    ASSERT_TRUE(queryProperty(handle, StorageDeviceProperty, fixed, returned));
    EXPECT_EQ(returned, 40u);
    std::memcpy(&descriptor, fixed.data(), sizeof(descriptor));
    EXPECT_EQ(descriptor.Size, 81u);
    std::vector<std::uint8_t> tiny(7);
    EXPECT_FALSE(queryProperty(handle, StorageDeviceProperty, tiny, returned));
    EXPECT_EQ(lastError(), ERROR_INSUFFICIENT_BUFFER);
    storage.closeHandle(handle);
}

// A SCSI_PASS_THROUGH block: header, 32 bytes of sense, then the data.
struct ScsiRequest {
    win32::ScsiPassThrough header{};
    std::uint8_t sense[32] = {};
    std::uint8_t data[256] = {};
};

ScsiRequest scsiRequest(std::initializer_list<std::uint8_t> cdb, std::uint32_t length) {
    ScsiRequest request;
    request.header.Length = sizeof(win32::ScsiPassThrough);
    request.header.CdbLength = static_cast<std::uint8_t>(cdb.size());
    request.header.SenseInfoLength = sizeof(request.sense);
    request.header.DataIn = win32::kScsiIoctlDataIn;
    request.header.DataTransferLength = length;
    request.header.TimeOutValue = 5;
    request.header.DataBufferOffset = offsetof(ScsiRequest, data);
    request.header.SenseInfoOffset = offsetof(ScsiRequest, sense);
    std::copy(cdb.begin(), cdb.end(), request.header.Cdb);
    return request;
}

TEST_F(LinuxStorageFactsTest, AnswersScsiIdentificationWithoutTheDevice) {
    const HANDLE handle = open(u"\\\\.\\PhysicalDrive0");
    DWORD returned = 0;
    ScsiRequest inquiry = scsiRequest({0x12, 0, 0, 0, 36, 0}, 36);
    ASSERT_TRUE(storage.deviceIoControl(handle, win32::kIoctlScsiPassThrough, &inquiry,
                                        sizeof(inquiry), &inquiry, sizeof(inquiry), &returned));
    EXPECT_EQ(inquiry.header.ScsiStatus, 0);
    EXPECT_EQ(inquiry.header.DataTransferLength, 36u);
    EXPECT_EQ(inquiry.header.SenseInfoLength, 0);
    EXPECT_EQ(returned, offsetof(ScsiRequest, data) + 36);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(inquiry.data + 8), 24),
              "ATA     Samsung SSD 860 ");

    ScsiRequest serial = scsiRequest({0x12, 1, 0x80, 0, 255, 0}, 255);
    ASSERT_TRUE(storage.deviceIoControl(handle, win32::kIoctlScsiPassThrough, &serial,
                                        sizeof(serial), &serial, sizeof(serial), &returned));
    EXPECT_EQ(serial.header.DataTransferLength, 24u); // the recorded page, verbatim
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(serial.data + 4), 15), "S3Z9NB0K123456A");

    ScsiRequest log = scsiRequest({0x4D, 0, 0x4D, 0, 0, 0, 0, 0, 64, 0}, 64);
    ASSERT_TRUE(storage.deviceIoControl(handle, win32::kIoctlScsiPassThrough, &log, sizeof(log),
                                        &log, sizeof(log), &returned));
    EXPECT_EQ(log.data[9], 36);

    // A command the sysfs facts cannot answer needs the device, which this node is not.
    ScsiRequest read = scsiRequest({0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 256);
    read.header.DataTransferLength = 256;
    EXPECT_TRUE(storage.deviceIoControl(handle, win32::kIoctlScsiPassThrough, &read, sizeof(read),
                                        &read, sizeof(read), &returned));
    EXPECT_EQ(read.header.ScsiStatus, 2);
    EXPECT_EQ(read.header.SenseInfoLength, 18);
    EXPECT_EQ(read.sense[2], 0x05);
    storage.closeHandle(handle);
}

struct AtaRequest {
    win32::AtaPassThroughEx header{};
    std::uint8_t data[512] = {};
};

AtaRequest identifyRequest() {
    AtaRequest request;
    request.header.Length = sizeof(win32::AtaPassThroughEx);
    request.header.AtaFlags = win32::kAtaFlagsDrdyRequired | win32::kAtaFlagsDataIn;
    request.header.DataTransferLength = 512;
    request.header.TimeOutValue = 5;
    request.header.DataBufferOffset = offsetof(AtaRequest, data);
    request.header.CurrentTaskFile[6] = 0xEC;
    return request;
}

TEST_F(LinuxStorageFactsTest, AnswersAtaIdentifyFromWhatLibataRecorded) {
    const HANDLE sata = open(u"\\\\.\\PhysicalDrive0");
    AtaRequest request = identifyRequest();
    DWORD returned = 0;
    ASSERT_TRUE(storage.deviceIoControl(sata, win32::kIoctlAtaPassThrough, &request,
                                        sizeof(request), &request, sizeof(request), &returned));
    EXPECT_EQ(returned, sizeof(request));
    EXPECT_EQ(request.header.CurrentTaskFile[6], 0x50);
    EXPECT_EQ(request.data[0], 0x40);
    EXPECT_EQ(request.data[510], 0xA5);

    // SMART needs the device itself.
    AtaRequest smart = identifyRequest();
    smart.header.CurrentTaskFile[0] = 0xD0;
    smart.header.CurrentTaskFile[3] = 0x4F;
    smart.header.CurrentTaskFile[4] = 0xC2;
    smart.header.CurrentTaskFile[6] = 0xB0;
    EXPECT_FALSE(storage.deviceIoControl(sata, win32::kIoctlAtaPassThrough, &smart, sizeof(smart),
                                         &smart, sizeof(smart), &returned));
    EXPECT_EQ(lastError(), ERROR_ACCESS_DENIED);
    storage.closeHandle(sata);
}

TEST_F(LinuxStorageFactsTest, ListsLettersAndTheirTypes) {
    EXPECT_EQ(storage.getLogicalDrives(), 0b111'1111'1100u); // C..K
    const struct {
        const char16_t* root;
        UINT type;
    } cases[] = {
        {u"C:\\", DRIVE_FIXED},       {u"c:", DRIVE_NO_ROOT_DIR},
        {u"G:\\", DRIVE_REMOTE},      {u"H:\\", DRIVE_RAMDISK},
        {u"I:\\", DRIVE_REMOVABLE},   {u"K:\\", DRIVE_CDROM},
        {u"Q:\\", DRIVE_NO_ROOT_DIR}, {u"C:\\Windows\\", DRIVE_NO_ROOT_DIR},
        {nullptr, DRIVE_FIXED}, // the working directory's drive
    };
    for (const auto& c : cases) {
        EXPECT_EQ(storage.getDriveType(c.root), c.type) << utf16ToUtf8(wideView(c.root));
    }
    for (int drive = -1; drive < 27; ++drive) {
        EXPECT_EQ(storage.isNetDrive(drive), drive == 'G' - 'A' ? 1 : 0) << drive;
    }
}

TEST_F(LinuxStorageFactsTest, FailsVolumeInformationAsWindowsDoes) {
    char16_t label[64] = {};
    char16_t fileSystem[16] = {};
    EXPECT_FALSE(storage.getVolumeInformation(u"Q:\\", label, 64, nullptr, nullptr, nullptr,
                                              fileSystem, 16));
    EXPECT_EQ(lastError(), kErrorPathNotFound);
    EXPECT_FALSE(storage.getVolumeInformation(u"C:\\etc\\", label, 64, nullptr, nullptr, nullptr,
                                              fileSystem, 16));
    EXPECT_EQ(lastError(), kErrorDirNotRoot);
    EXPECT_FALSE(storage.getVolumeInformation(u"K:\\", label, 64, nullptr, nullptr, nullptr,
                                              fileSystem, 16));
    EXPECT_EQ(lastError(), ERROR_NOT_READY);

    // "Root Disk" needs 10 characters: with 9 the call fails, the buffer filled but unterminated.
    std::fill(std::begin(label), std::end(label), u'#');
    EXPECT_FALSE(
        storage.getVolumeInformation(u"C:\\", label, 9, nullptr, nullptr, nullptr, fileSystem, 16));
    EXPECT_EQ(lastError(), kErrorBadLength);
    EXPECT_EQ(std::u16string(label, 10), u"Root Disk#");
    EXPECT_FALSE(
        storage.getVolumeInformation(u"C:\\", label, 64, nullptr, nullptr, nullptr, fileSystem, 4));
    EXPECT_EQ(lastError(), kErrorBadLength);
    EXPECT_TRUE(
        storage.getVolumeInformation(u"C:\\", label, 10, nullptr, nullptr, nullptr, fileSystem, 5));
    // Null buffers are not asked for.
    EXPECT_TRUE(
        storage.getVolumeInformation(u"C:\\", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0));
}

} // namespace
} // namespace platform
