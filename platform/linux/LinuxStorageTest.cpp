#include "platform/linux/LinuxStorage.h"

#include "platform/PassThrough.h"
#include "platform/linux/FakeMachine.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/linux/SysBlock.h"
#include "platform/linux/WideText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace platform {
namespace {

constexpr DWORD kErrorBadLength = 24;
constexpr DWORD kErrorPathNotFound = 3;
constexpr DWORD kErrorDirNotRoot = 144;

DWORD lastError() {
    return nativeBackend().getLastError();
}

class LinuxStorageTest : public ::testing::Test {
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
    LinuxStorage storage{machine.roots()};

    HANDLE open(const std::u16string& name) {
        return storage.createFile(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
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

test::FakeMachine* LinuxStorageTest::shared = nullptr;

TEST_F(LinuxStorageTest, OpensDisksVolumesAndInterfacePaths) {
    const struct {
        std::u16string name;
        bool opens;
    } cases[] = {
        {u"\\\\.\\C:", true},
        {u"\\\\.\\c:", true},
        {u"\\\\?\\J:", true},
        {u"\\\\.\\K:", true}, // an idle CD-ROM drive still opens
        {u"\\\\.\\Q:", false},
        {u"\\\\.\\PhysicalDrive0", true},
        {u"\\\\.\\PHYSICALDRIVE3", true},
        {u"\\\\.\\PhysicalDrive4", false},
        {u"\\\\.\\PhysicalDrive", false},
        {u"\\\\.\\PhysicalDrive0x", false},
        {u"\\\\.\\CdRom0", true},
        {u"\\\\.\\CdRom1", false},
        {interfacePathOf(2), true},
        {u"C:\\", false},
        {u"/dev/sda", false},
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

TEST_F(LinuxStorageTest, OpensInterfacePathsInAnyCaseAndUnderEitherPrefix) {
    std::u16string path = interfacePathOf(0);
    for (auto& c : path) {
        c = asciiUpper(c);
    }
    path[2] = u'.';
    const HANDLE handle = open(path);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(deviceNumber(handle)->DeviceNumber, 0u);
    storage.closeHandle(handle);
}

TEST_F(LinuxStorageTest, ClosesEachHandleOnce) {
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

TEST_F(LinuxStorageTest, RejectsAnInvalidCreationDisposition) {
    EXPECT_EQ(storage.createFile(u"\\\\.\\C:", GENERIC_READ, 0, 0, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(lastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(storage.createFile(nullptr, GENERIC_READ, 0, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
}

TEST_F(LinuxStorageTest, NumbersLettersByTheDisksTheyLieOn) {
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
        {u"\\\\.\\H:", std::nullopt}, // RAM disk
        {u"\\\\.\\PhysicalDrive3", std::array<DWORD, 3>{FILE_DEVICE_DISK, 3, 0}},
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

TEST_F(LinuxStorageTest, RefusesOutputBuffersTooSmall) {
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

TEST_F(LinuxStorageTest, DescribesTheDeviceAsTheStorageDriversDo) {
    const HANDLE handle = open(u"\\\\.\\PhysicalDrive0");
    std::vector<std::uint8_t> out(512, 0xCC);
    DWORD returned = 0;
    ASSERT_TRUE(queryProperty(handle, StorageDeviceProperty, out, returned));
    STORAGE_DEVICE_DESCRIPTOR descriptor{};
    std::memcpy(&descriptor, out.data(), sizeof(descriptor));
    EXPECT_EQ(returned, descriptor.Size);
    EXPECT_EQ(descriptor.Version, 40u);
    EXPECT_EQ(descriptor.DeviceType, 0);
    EXPECT_EQ(descriptor.RemovableMedia, 0);
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
    std::vector<std::uint8_t> header(8);
    ASSERT_TRUE(queryProperty(handle, StorageDeviceProperty, header, returned));
    EXPECT_EQ(returned, 8u);
    std::vector<std::uint8_t> tiny(7);
    EXPECT_FALSE(queryProperty(handle, StorageDeviceProperty, tiny, returned));
    EXPECT_EQ(lastError(), ERROR_INSUFFICIENT_BUFFER);
    storage.closeHandle(handle);
}

TEST_F(LinuxStorageTest, LeavesOutTheTextsSysfsDoesNotHave) {
    const HANDLE handle = open(u"\\\\.\\PhysicalDrive2"); // virtio
    std::vector<std::uint8_t> out(256);
    DWORD returned = 0;
    ASSERT_TRUE(queryProperty(handle, StorageDeviceProperty, out, returned));
    STORAGE_DEVICE_DESCRIPTOR descriptor{};
    std::memcpy(&descriptor, out.data(), sizeof(descriptor));
    EXPECT_EQ(descriptor.VendorIdOffset, 0u);
    EXPECT_EQ(descriptor.ProductIdOffset, 0u);
    EXPECT_EQ(descriptor.ProductRevisionOffset, 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&out[descriptor.SerialNumberOffset])),
              "vol-0a1b2c3d");
    EXPECT_EQ(static_cast<int>(descriptor.BusType), 0x01);
    storage.closeHandle(handle);

    const HANDLE stick = open(u"\\\\.\\I:");
    ASSERT_TRUE(queryProperty(stick, StorageDeviceProperty, out, returned));
    std::memcpy(&descriptor, out.data(), sizeof(descriptor));
    EXPECT_EQ(descriptor.RemovableMedia, 1);
    EXPECT_EQ(static_cast<int>(descriptor.BusType), 0x07);
    storage.closeHandle(stick);
}

TEST_F(LinuxStorageTest, AnswersTheTemperaturePropertyFromHwmon) {
    const HANDLE nvme = open(u"\\\\.\\PhysicalDrive3");
    std::vector<std::uint8_t> out(128);
    DWORD returned = 0;
    ASSERT_TRUE(queryProperty(nvme, StorageDeviceTemperatureProperty, out, returned));
    win32::StorageTemperatureDataDescriptor descriptor{};
    std::memcpy(&descriptor, out.data(), 24);
    EXPECT_EQ(descriptor.InfoCount, 2);
    EXPECT_EQ(descriptor.Size, 24u + 2 * 16);
    EXPECT_EQ(returned, descriptor.Size);
    win32::StorageTemperatureInfo second{};
    std::memcpy(&second, out.data() + 40, sizeof(second));
    EXPECT_EQ(second.Index, 1);
    EXPECT_EQ(second.Temperature, 43);
    storage.closeHandle(nvme);

    const HANDLE virtio = open(u"\\\\.\\PhysicalDrive2");
    EXPECT_FALSE(queryProperty(virtio, StorageDeviceTemperatureProperty, out, returned));
    EXPECT_EQ(lastError(), ERROR_NOT_SUPPORTED);
    EXPECT_FALSE(queryProperty(virtio, 1 /* adapter */, out, returned));
    EXPECT_EQ(lastError(), ERROR_NOT_SUPPORTED);
    storage.closeHandle(virtio);
}

TEST_F(LinuxStorageTest, AnswersLengthAndGeometry) {
    const HANDLE disk = open(u"\\\\.\\PhysicalDrive0");
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    ASSERT_TRUE(storage.deviceIoControl(disk, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                                        sizeof(length), &returned));
    EXPECT_EQ(returned, 8u);
    EXPECT_EQ(length.Length.QuadPart, 1953525168LL * 512);
    DISK_GEOMETRY geometry{};
    ASSERT_TRUE(storage.deviceIoControl(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                                        sizeof(geometry), &returned));
    EXPECT_EQ(returned, 24u);
    // The node opens but is no disk: HDIO_GETGEO fails and the geometry is derived.
    EXPECT_EQ(geometry.TracksPerCylinder, 255u);
    EXPECT_EQ(geometry.SectorsPerTrack, 63u);
    EXPECT_EQ(geometry.BytesPerSector, 512u);
    EXPECT_EQ(geometry.MediaType, FixedMedia);
    EXPECT_EQ(geometry.Cylinders.QuadPart, 1953525168LL / (255 * 63));
    storage.closeHandle(disk);

    const HANDLE volume = open(u"\\\\.\\D:");
    ASSERT_TRUE(storage.deviceIoControl(volume, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                                        sizeof(length), &returned));
    EXPECT_EQ(length.Length.QuadPart, 1048576LL * 512); // the partition, not the disk
    storage.closeHandle(volume);

    const HANDLE stick = open(u"\\\\.\\PhysicalDrive1");
    ASSERT_TRUE(storage.deviceIoControl(stick, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                                        sizeof(geometry), &returned));
    EXPECT_EQ(geometry.MediaType, RemovableMedia);
    storage.closeHandle(stick);

    const HANDLE cd = open(u"\\\\.\\CdRom0"); // no disc
    EXPECT_FALSE(storage.deviceIoControl(cd, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                                         sizeof(length), &returned));
    EXPECT_EQ(lastError(), ERROR_NOT_READY);
    EXPECT_FALSE(storage.deviceIoControl(cd, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                                         sizeof(geometry), &returned));
    EXPECT_EQ(lastError(), ERROR_NOT_READY);
    storage.closeHandle(cd);

    const HANDLE share = open(u"\\\\.\\G:");
    EXPECT_FALSE(storage.deviceIoControl(share, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                                         sizeof(length), &returned));
    EXPECT_EQ(lastError(), ERROR_INVALID_FUNCTION);
    storage.closeHandle(share);
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

TEST_F(LinuxStorageTest, AnswersScsiIdentificationWithoutTheDevice) {
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

    // No node at all (an unprivileged user): the same facts, and refusal for the rest.
    const HANDLE virtio = open(u"\\\\.\\PhysicalDrive2");
    ScsiRequest noTemperature = scsiRequest({0x4D, 0, 0x4D, 0, 0, 0, 0, 0, 64, 0}, 64);
    ASSERT_TRUE(storage.deviceIoControl(virtio, win32::kIoctlScsiPassThrough, &noTemperature,
                                        sizeof(noTemperature), &noTemperature,
                                        sizeof(noTemperature), &returned));
    EXPECT_EQ(noTemperature.header.ScsiStatus, 2);
    EXPECT_EQ(noTemperature.header.DataTransferLength, 0u);
    read = scsiRequest({0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 256);
    EXPECT_FALSE(storage.deviceIoControl(virtio, win32::kIoctlScsiPassThrough, &read, sizeof(read),
                                         &read, sizeof(read), &returned));
    EXPECT_EQ(lastError(), ERROR_ACCESS_DENIED);
    storage.closeHandle(virtio);
}

TEST_F(LinuxStorageTest, ChecksScsiPassThroughBlocks) {
    const HANDLE handle = open(u"\\\\.\\PhysicalDrive0");
    DWORD returned = 0;
    const auto rejected = [&](ScsiRequest request, DWORD inSize, DWORD outSize) {
        const BOOL ok = storage.deviceIoControl(handle, win32::kIoctlScsiPassThrough, &request,
                                                inSize, &request, outSize, &returned);
        return !ok && lastError() == ERROR_INVALID_PARAMETER;
    };
    const ScsiRequest good = scsiRequest({0x12, 0, 0, 0, 36, 0}, 36);
    EXPECT_TRUE(rejected(good, sizeof(ScsiRequest), 40)); // data past the output
    EXPECT_TRUE(rejected(good, 55, sizeof(ScsiRequest)));
    ScsiRequest badLength = good;
    badLength.header.Length = 48;
    EXPECT_TRUE(rejected(badLength, sizeof(ScsiRequest), sizeof(ScsiRequest)));
    ScsiRequest longCdb = good;
    longCdb.header.CdbLength = 17;
    EXPECT_TRUE(rejected(longCdb, sizeof(ScsiRequest), sizeof(ScsiRequest)));
    ScsiRequest senseOut = good;
    senseOut.header.SenseInfoOffset = sizeof(ScsiRequest) - 4;
    EXPECT_TRUE(rejected(senseOut, sizeof(ScsiRequest), sizeof(ScsiRequest)));
    ScsiRequest hugeOffset = good;
    hugeOffset.header.DataBufferOffset = ~std::uint64_t{0} - 8;
    EXPECT_TRUE(rejected(hugeOffset, sizeof(ScsiRequest), sizeof(ScsiRequest)));
    // The caller's transfer length bounds the answer.
    ScsiRequest small = scsiRequest({0x12, 0, 0, 0, 36, 0}, 5);
    ASSERT_TRUE(storage.deviceIoControl(handle, win32::kIoctlScsiPassThrough, &small, sizeof(small),
                                        &small, sizeof(small), &returned));
    EXPECT_EQ(small.header.DataTransferLength, 5u);
    EXPECT_EQ(small.data[5], 0);
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

TEST_F(LinuxStorageTest, AnswersAtaIdentifyFromWhatLibataRecorded) {
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

    for (const char16_t* other :
         {u"\\\\.\\PhysicalDrive2", u"\\\\.\\PhysicalDrive3", u"\\\\.\\PhysicalDrive1"}) {
        const HANDLE handle = open(other);
        request = identifyRequest();
        EXPECT_FALSE(storage.deviceIoControl(handle, win32::kIoctlAtaPassThrough, &request,
                                             sizeof(request), &request, sizeof(request),
                                             &returned));
        EXPECT_EQ(lastError(), ERROR_INVALID_FUNCTION) << utf16ToUtf8(other);
        storage.closeHandle(handle);
    }
}

TEST_F(LinuxStorageTest, ChecksAtaPassThroughBlocks) {
    const HANDLE sata = open(u"\\\\.\\PhysicalDrive0");
    DWORD returned = 0;
    AtaRequest request = identifyRequest();
    EXPECT_FALSE(storage.deviceIoControl(sata, win32::kIoctlAtaPassThrough, &request,
                                         sizeof(request), &request, 100, &returned));
    EXPECT_EQ(lastError(), ERROR_INVALID_PARAMETER);
    request.header.AtaFlags |= win32::kAtaFlagsDataOut;
    EXPECT_FALSE(storage.deviceIoControl(sata, win32::kIoctlAtaPassThrough, &request,
                                         sizeof(request), &request, sizeof(request), &returned));
    request = identifyRequest();
    request.header.DataBufferOffset = 8; // over the header
    EXPECT_FALSE(storage.deviceIoControl(sata, win32::kIoctlAtaPassThrough, &request,
                                         sizeof(request), &request, sizeof(request), &returned));
    EXPECT_EQ(lastError(), ERROR_INVALID_PARAMETER);
    storage.closeHandle(sata);
}

TEST_F(LinuxStorageTest, AnswersIdentifyThroughSmartReceive) {
    const HANDLE sata = open(u"\\\\.\\PhysicalDrive0");
    win32::SendCmdInParams in{};
    in.cBufferSize = 512;
    in.irDriveRegs.bCommandReg = 0xEC;
    std::vector<std::uint8_t> out(sizeof(win32::SendCmdOutParams) + 512);
    DWORD returned = 0;
    ASSERT_TRUE(storage.deviceIoControl(sata, win32::kSmartRcvDriveData, &in, sizeof(in),
                                        out.data(), static_cast<DWORD>(out.size()), &returned));
    EXPECT_EQ(returned, out.size());
    EXPECT_EQ(out[0], 0x00); // cBufferSize 512, little-endian
    EXPECT_EQ(out[1], 0x02);
    EXPECT_EQ(out[4], 0); // no driver error
    EXPECT_EQ(out[16], 0x40);
    EXPECT_FALSE(storage.deviceIoControl(sata, win32::kSmartRcvDriveData, &in, sizeof(in),
                                         out.data(), 100, &returned));
    EXPECT_EQ(lastError(), ERROR_INSUFFICIENT_BUFFER);
    in.irDriveRegs.bCommandReg = 0xB0;
    in.irDriveRegs.bFeaturesReg = 0xD0;
    EXPECT_FALSE(storage.deviceIoControl(sata, win32::kSmartRcvDriveData, &in, sizeof(in),
                                         out.data(), static_cast<DWORD>(out.size()), &returned));
    EXPECT_EQ(lastError(), ERROR_ACCESS_DENIED);
    storage.closeHandle(sata);
}

TEST_F(LinuxStorageTest, ListsLettersAndTheirTypes) {
    EXPECT_EQ(storage.getLogicalDrives(), 0b111'1111'1100u); // C..K
    const struct {
        const char16_t* root;
        UINT type;
    } cases[] = {
        {u"C:\\", DRIVE_FIXED},
        {u"c:", DRIVE_FIXED},
        {u"\\\\.\\D:\\", DRIVE_FIXED},
        {u"G:\\", DRIVE_REMOTE},
        {u"H:\\", DRIVE_RAMDISK},
        {u"I:\\", DRIVE_REMOVABLE},
        {u"K:\\", DRIVE_CDROM},
        {u"Q:\\", DRIVE_NO_ROOT_DIR},
        {u"C:\\Windows\\", DRIVE_NO_ROOT_DIR},
        {u"", DRIVE_NO_ROOT_DIR},
        {nullptr, DRIVE_FIXED}, // the working directory's drive
    };
    for (const auto& c : cases) {
        EXPECT_EQ(storage.getDriveType(c.root), c.type) << utf16ToUtf8(wideView(c.root));
    }
    for (int drive = -1; drive < 27; ++drive) {
        EXPECT_EQ(storage.isNetDrive(drive), drive == 'G' - 'A' ? 1 : 0) << drive;
    }
}

TEST_F(LinuxStorageTest, ReadsVolumeInformation) {
    const struct {
        const char16_t* root;
        const char16_t* label;
        DWORD serial;
        const char16_t* fileSystem;
        bool readOnly;
    } cases[] = {
        {u"\\\\.\\C:\\", u"Root Disk", 0x5D2B7E2A, u"ext4", false}, // the superblock
        {u"D:\\", u"USB STICK", 0x1A2B3C4D, u"vfat", false},
        {u"J:\\", u"DATA DISK", 0x0F1E2D3C, u"ext4", true}, // udev links
    };
    for (const auto& c : cases) {
        char16_t label[64];
        char16_t fileSystem[16];
        DWORD serial = 1;
        DWORD component = 0;
        DWORD flags = 0;
        ASSERT_TRUE(storage.getVolumeInformation(c.root, label, 64, &serial, &component, &flags,
                                                 fileSystem, 16))
            << utf16ToUtf8(c.root);
        EXPECT_EQ(std::u16string(label), c.label) << utf16ToUtf8(c.root);
        EXPECT_EQ(serial, c.serial) << utf16ToUtf8(c.root);
        EXPECT_EQ(std::u16string(fileSystem), c.fileSystem) << utf16ToUtf8(c.root);
        EXPECT_EQ((flags & FILE_READ_ONLY_VOLUME) != 0, c.readOnly) << utf16ToUtf8(c.root);
        EXPECT_GT(component, 0u);
    }
}

TEST_F(LinuxStorageTest, InventsNoSerialItCannotRead) {
    const struct {
        const char16_t* root;
        DWORD error;
    } cases[] = {
        {u"E:\\", ERROR_ACCESS_DENIED}, // no node under /dev, no udev links
        {u"I:\\", ERROR_ACCESS_DENIED},
        {u"G:\\", ERROR_NOT_SUPPORTED}, // a network share, a RAM disk: no volume serial
        {u"H:\\", ERROR_NOT_SUPPORTED},
    };
    for (const auto& c : cases) {
        char16_t label[64] = {};
        DWORD serial = 0;
        EXPECT_FALSE(
            storage.getVolumeInformation(c.root, label, 64, &serial, nullptr, nullptr, nullptr, 0));
        EXPECT_EQ(lastError(), c.error) << utf16ToUtf8(c.root);
    }
    // A node that opens but holds no file system the parsers know.
    const test::TestTree dev;
    dev.file("sda2", std::string(4096, 'Z'));
    StorageRoots roots = machine.roots();
    roots.dev = dev.root();
    LinuxStorage unknown(roots);
    EXPECT_FALSE(
        unknown.getVolumeInformation(u"C:\\", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(lastError(), 1005u); // ERROR_UNRECOGNIZED_VOLUME
}

TEST_F(LinuxStorageTest, FailsVolumeInformationAsWindowsDoes) {
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

TEST_F(LinuxStorageTest, ReadsFreeSpaceOfTheMountPoint) {
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER free{};
    for (const char16_t* root : std::initializer_list<const char16_t*>{
             u"C:\\", u"\\\\.\\D:\\", u"E:\\user", u"H:\\", nullptr}) {
        ASSERT_TRUE(storage.getDiskFreeSpaceEx(root, &available, &total, &free))
            << utf16ToUtf8(wideView(root));
        EXPECT_GT(total.QuadPart, 0u);
        EXPECT_LE(free.QuadPart, total.QuadPart);
        EXPECT_LE(available.QuadPart, free.QuadPart);
    }
    EXPECT_TRUE(storage.getDiskFreeSpaceEx(u"C:\\", nullptr, &total, nullptr));
    EXPECT_FALSE(storage.getDiskFreeSpaceEx(u"K:\\", &available, &total, &free));
    EXPECT_EQ(lastError(), ERROR_NOT_READY);
    EXPECT_FALSE(storage.getDiskFreeSpaceEx(u"Q:\\", &available, &total, &free));
    EXPECT_EQ(lastError(), kErrorPathNotFound);
    EXPECT_FALSE(storage.getDiskFreeSpaceEx(u"C:\\no\\such\\dir", &available, &total, &free));
    EXPECT_EQ(lastError(), kErrorPathNotFound);
    EXPECT_FALSE(storage.getDiskFreeSpaceEx(u"nonsense", &available, &total, &free));
    EXPECT_EQ(lastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(LinuxStorageTest, NamesTheSystemDirectoryWithWin32Sizes) {
    char16_t buffer[16];
    EXPECT_EQ(storage.getSystemDirectory(buffer, 16), 3u);
    EXPECT_EQ(std::u16string(buffer), u"C:\\");
    EXPECT_EQ(storage.getSystemDirectory(buffer, 4), 3u);
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(storage.getSystemDirectory(buffer, 3), 4u); // too small: the size it needs
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_EQ(storage.getSystemDirectory(nullptr, 0), 4u);
}

TEST_F(LinuxStorageTest, NamesTheProgramByItsVolumeLetter) {
    char16_t buffer[64];
    EXPECT_EQ(storage.getModuleFileName(buffer, 64), 18u);
    EXPECT_EQ(std::u16string(buffer), u"E:\\user\\bin\\hwsnap");
    // Truncated to the buffer, terminated, and the buffer size returned.
    EXPECT_EQ(storage.getModuleFileName(buffer, 5), 5u);
    EXPECT_EQ(lastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(buffer), u"E:\\u");
    EXPECT_EQ(storage.getModuleFileName(buffer, 18), 18u);
    EXPECT_EQ(std::u16string(buffer), u"E:\\user\\bin\\hwsna");
    EXPECT_EQ(storage.getModuleFileName(buffer, 19), 18u);
    EXPECT_EQ(lastError(), ERROR_SUCCESS);
    EXPECT_EQ(storage.getModuleFileName(buffer, 0), 0u);
    EXPECT_EQ(lastError(), ERROR_INSUFFICIENT_BUFFER);

    std::filesystem::remove(machine.files / "exe");
    machine.files.link("exe", "/snap/core/1/usr/bin/hwsnap"); // on a loop device: no letter
    EXPECT_EQ(storage.getModuleFileName(buffer, 64), 0u);
    EXPECT_EQ(lastError(), ERROR_FILE_NOT_FOUND);
    std::filesystem::remove(machine.files / "exe");
    machine.files.link("exe", "/home/user/bin/hwsnap");
}

} // namespace
} // namespace platform
