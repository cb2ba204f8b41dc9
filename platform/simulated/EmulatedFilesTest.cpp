// The emulator's handles and control requests (EmulatedFiles.cpp), through a simulated machine.

#include "platform/simulated/SimulatedMachine.h"

#include "platform/testing/PassThroughBlocks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace platform::simulated {
namespace {

using namespace platform::test;
using win32::AtaPassThroughEx;
using win32::ScsiPassThrough;

const char* const kMachine = R"({
  "drives": {"C": {"type": 3, "deviceNumber": 0}, "E": {"type": 2, "openable": false},
             "R": {"type": 6}},
  "disks": {
    "\\\\.\\PhysicalDrive0": {
      "deviceNumber": {"type": 7, "number": 0},
      "descriptor": {"removableMedia": false, "busType": 11, "vendorId": "ATA",
                     "productId": "Acme SSD", "serialNumber": "S123"},
      "geometry": {"cylinders": 1024, "mediaType": 12, "tracksPerCylinder": 255,
                   "sectorsPerTrack": 63, "bytesPerSector": 512},
      "length": 256060514304,
      "ata": {"identify": {"model": "Acme SSD 512GB", "serial": "S123", "firmware": "1.0"},
              "smart": {"temperature": 38}}
    },
    "\\\\?\\usbstor#disk": {"openable": false},
    "\\\\.\\PhysicalDrive9": {},
    "ataNoSmart": {"ata": {"identify": {"model": "Old"}}},
    "scsi": {"scsi": {"inquiry": {"vendor": "ACME", "product": "Disk", "revision": "A1"}}}
  }
})";

const std::u16string kDrive0 = u"\\\\.\\PhysicalDrive0";

class EmulatedFiles : public testing::Test {
protected:
    HANDLE open(const std::u16string& name) {
        return win32::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
    }
    // Opened for the whole test, closed when it ends.
    HANDLE kept(const std::u16string& name) {
        const HANDLE handle = open(name);
        EXPECT_NE(handle, INVALID_HANDLE_VALUE);
        kept_.push_back(handle);
        return handle;
    }
    void TearDown() override {
        for (const HANDLE handle : kept_) {
            EXPECT_TRUE(win32::CloseHandle(handle));
        }
        EXPECT_EQ(machine_.openHandleCount(), 0u);
    }

    BOOL query(HANDLE handle, STORAGE_PROPERTY_ID property, void* out, DWORD outSize,
               DWORD* returned) {
        STORAGE_PROPERTY_QUERY request{};
        request.PropertyId = property;
        request.QueryType = PropertyStandardQuery;
        return win32::DeviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &request,
                                      sizeof(request), out, outSize, returned, nullptr);
    }

    SimulatedMachine machine_ = SimulatedMachine::fromJson(kMachine);
    ScopedBackend installed_{machine_};
    std::vector<HANDLE> kept_;
};

TEST_F(EmulatedFiles, CreateFileOpensLettersAndDiskPaths) {
    struct Case {
        std::u16string name;
        DWORD error; // ERROR_SUCCESS: opens
    };
    const Case cases[] = {
        {u"\\\\.\\C:", ERROR_SUCCESS},
        {u"\\\\.\\E:", ERROR_ACCESS_DENIED},
        {u"\\\\.\\F:", ERROR_FILE_NOT_FOUND},
        {u"\\\\.\\C:\\", ERROR_FILE_NOT_FOUND},
        {kDrive0, ERROR_SUCCESS},
        {u"\\\\?\\PHYSICALDRIVE0", ERROR_SUCCESS}, // in any case, under either prefix
        {u"\\\\.\\PhysicalDrive0x", ERROR_FILE_NOT_FOUND},
        {u"\\\\?\\usbstor#disk", ERROR_ACCESS_DENIED},
        {u"", ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        const HANDLE handle = open(c.name);
        if (c.error == ERROR_SUCCESS) {
            EXPECT_NE(handle, INVALID_HANDLE_VALUE);
            EXPECT_NE(handle, nullptr);
            EXPECT_TRUE(win32::CloseHandle(handle));
        } else {
            EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
            EXPECT_EQ(win32::GetLastError(), c.error);
        }
    }
    EXPECT_EQ(machine_.opens(), 3u);
    EXPECT_EQ(machine_.closes(), 3u);
    EXPECT_EQ(win32::CreateFileW(nullptr, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
}

TEST_F(EmulatedFiles, HandlesAreFreshAndCountedPerPath) {
    const HANDLE first = open(kDrive0);
    const HANDLE second = open(kDrive0);
    const HANDLE letter = open(u"\\\\.\\C:");
    EXPECT_NE(first, second);
    EXPECT_EQ(machine_.openHandleCount(), 3u);
    EXPECT_EQ(machine_.opens(kDrive0), 2u);
    EXPECT_EQ(machine_.opens(u"\\\\.\\C:"), 1u);

    EXPECT_TRUE(win32::CloseHandle(first));
    EXPECT_FALSE(win32::CloseHandle(first)); // twice
    EXPECT_EQ(win32::GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(win32::CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(win32::CloseHandle(nullptr));
    EXPECT_EQ(machine_.invalidCloses(), 3u);
    EXPECT_EQ(machine_.closes(kDrive0), 1u);

    // A closed handle stays closed: it answers no request.
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 99;
    EXPECT_FALSE(win32::DeviceIoControl(first, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                                        sizeof(number), &returned, nullptr));
    EXPECT_EQ(win32::GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(returned, 0u);

    EXPECT_TRUE(win32::CloseHandle(second));
    EXPECT_TRUE(win32::CloseHandle(letter));
    EXPECT_EQ(machine_.closes(kDrive0), 2u);
}

TEST_F(EmulatedFiles, DeviceNumberOfLettersAndDisks) {
    const struct {
        std::u16string name;
        bool answers;
        DWORD partition;
    } cases[] = {
        {u"\\\\.\\C:", true, 1},
        {u"\\\\.\\R:", false, 0},
        {kDrive0, true, 0},
    };
    for (const auto& c : cases) {
        const HANDLE handle = kept(c.name);
        STORAGE_DEVICE_NUMBER number{};
        DWORD returned = 0;
        const BOOL ok = win32::DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0,
                                               &number, sizeof(number), &returned, nullptr);
        EXPECT_EQ(ok != FALSE, c.answers);
        if (c.answers) {
            EXPECT_EQ(returned, sizeof(number));
            EXPECT_EQ(number.DeviceType, DWORD{FILE_DEVICE_DISK});
            EXPECT_EQ(number.DeviceNumber, 0u);
            EXPECT_EQ(number.PartitionNumber, c.partition);
            EXPECT_FALSE(win32::DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0,
                                                &number, sizeof(number) - 1, &returned, nullptr));
            EXPECT_EQ(win32::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        } else {
            EXPECT_EQ(win32::GetLastError(), ERROR_INVALID_FUNCTION);
        }
    }
}

TEST_F(EmulatedFiles, DescriptorInTwoRequests) {
    const HANDLE disk = kept(kDrive0);
    std::vector<std::uint8_t> fixed(40, kGuard);
    DWORD returned = 0;
    ASSERT_TRUE(query(disk, StorageDeviceProperty, fixed.data(), 12, &returned));
    EXPECT_EQ(returned, 12u);
    EXPECT_EQ(fixed[12], kGuard);
    STORAGE_DEVICE_DESCRIPTOR header;
    std::memcpy(&header, fixed.data(), 12);
    // "ATA", "Acme SSD" and "S123" with their zeros follow the 40 bytes; no revision was given.
    EXPECT_EQ(header.Size, 40u + 4 + 9 + 5);

    std::vector<std::uint8_t> full(header.Size + 8, kGuard);
    ASSERT_TRUE(query(disk, StorageDeviceProperty, full.data(), header.Size + 8, &returned));
    EXPECT_EQ(returned, header.Size);
    std::memcpy(&header, full.data(), sizeof(header));
    EXPECT_EQ(header.ProductRevisionOffset, 0u); // absent, not empty
    EXPECT_EQ(header.SerialNumberOffset, 53u);
    EXPECT_STREQ(reinterpret_cast<const char*>(full.data() + 53), "S123");
    EXPECT_EQ(full[header.Size], kGuard); // nothing written past the descriptor

    EXPECT_FALSE(query(disk, StorageDeviceProperty, full.data(), 7, &returned));
    EXPECT_EQ(win32::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(query(disk, StorageDeviceTemperatureProperty, full.data(), 64, &returned));
    EXPECT_EQ(win32::GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(returned, 0u);
    // The query itself is too short.
    EXPECT_FALSE(win32::DeviceIoControl(disk, IOCTL_STORAGE_QUERY_PROPERTY, full.data(), 8,
                                        full.data(), 64, &returned, nullptr));
    EXPECT_EQ(win32::GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(EmulatedFiles, GeometryAndLength) {
    const HANDLE disk = kept(kDrive0);
    DISK_GEOMETRY geometry{};
    DWORD returned = 0;
    ASSERT_TRUE(win32::DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                                       sizeof(geometry), &returned, nullptr));
    EXPECT_EQ(returned, 24u);
    EXPECT_EQ(geometry.Cylinders.QuadPart, 1024);
    EXPECT_EQ(geometry.BytesPerSector, 512u);

    GET_LENGTH_INFORMATION length{};
    ASSERT_TRUE(win32::DeviceIoControl(disk, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                                       sizeof(length), &returned, nullptr));
    EXPECT_EQ(returned, 8u);
    EXPECT_EQ(length.Length.QuadPart, 256060514304);

    EXPECT_FALSE(win32::DeviceIoControl(disk, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, 4,
                                        &returned, nullptr));
    EXPECT_EQ(win32::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(win32::DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, nullptr, 0,
                                        &returned, nullptr));
    EXPECT_EQ(win32::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(win32::DeviceIoControl(disk, 0x00070050, nullptr, 0, &length, sizeof(length),
                                        &returned, nullptr));
    EXPECT_EQ(win32::GetLastError(), ERROR_INVALID_FUNCTION);
}

TEST_F(EmulatedFiles, DiskWithoutFactsFailsEachRequest) {
    const HANDLE disk = kept(u"\\\\.\\PhysicalDrive9");
    std::vector<std::uint8_t> buffer(512, 0);
    DWORD returned = 0;
    for (const DWORD code : {IOCTL_STORAGE_GET_DEVICE_NUMBER, IOCTL_STORAGE_QUERY_PROPERTY,
                             IOCTL_DISK_GET_DRIVE_GEOMETRY, IOCTL_DISK_GET_LENGTH_INFO}) {
        EXPECT_FALSE(win32::DeviceIoControl(disk, code, buffer.data(), 12, buffer.data(), 512,
                                            &returned, nullptr));
        EXPECT_EQ(returned, 0u);
    }
}

TEST_F(EmulatedFiles, DiskRemovedByAStepWhileOpen) {
    machine_ = SimulatedMachine::fromJson(
        R"({"disks": {"d": {"length": 5}}, "steps": [{"at": 0}, {"at": 1, "patch": {"disks": {"d": null}}}]})");
    const HANDLE handle = kept(u"d");
    machine_.applyStep(1);
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    EXPECT_FALSE(win32::DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                                        sizeof(length), &returned, nullptr));
    EXPECT_EQ(win32::GetLastError(), ERROR_NOT_READY);
    EXPECT_EQ(open(u"d"), INVALID_HANDLE_VALUE);
}

TEST_F(EmulatedFiles, AtaAnswersWithinTheTransferLength) {
    const HANDLE disk = kept(kDrive0);
    Block block = ataBlock(kIdentifyDevice, 100);
    DWORD returned = 0;
    ASSERT_TRUE(send(machine_, disk, win32::kIoctlAtaPassThrough, block, &returned));
    const auto answer = headerOf<AtaPassThroughEx>(block);
    EXPECT_EQ(answer.DataTransferLength, 100u);
    EXPECT_EQ(answer.CurrentTaskFile[6], 0x50); // status
    EXPECT_EQ(returned, kAtaData + 100);
    EXPECT_EQ(block[kAtaData + 55], 'A'); // the model's first character
    EXPECT_EQ(block[block.size() - 16], kGuard);

    Block smart = ataBlock(kSmartRead, 512);
    ASSERT_TRUE(send(machine_, disk, win32::kIoctlAtaPassThrough, smart, &returned));
    EXPECT_EQ(smart[kAtaData + 7], 38);

    // A command the drive rejects still succeeds as a request, with ERR and ABRT set.
    Block rejected = ataBlock(kSmartRead, 512);
    ASSERT_TRUE(
        send(machine_, kept(u"ataNoSmart"), win32::kIoctlAtaPassThrough, rejected, &returned));
    EXPECT_EQ(headerOf<AtaPassThroughEx>(rejected).CurrentTaskFile[6], 0x51);
    EXPECT_EQ(headerOf<AtaPassThroughEx>(rejected).CurrentTaskFile[0], 0x04);
    EXPECT_EQ(returned, kAtaData);
    EXPECT_EQ(rejected[kAtaData], kGuard);
}

TEST_F(EmulatedFiles, PassThroughRequestsThatFail) {
    Block badLength = ataBlock(kIdentifyDevice, 512);
    badLength[0] = 40;
    const struct {
        const char* name;
        const char16_t* path;
        DWORD code;
        Block block;
        DWORD error;
    } cases[] = {
        {"ATA on a SCSI disk", u"scsi", win32::kIoctlAtaPassThrough, ataBlock(kIdentifyDevice, 512),
         ERROR_INVALID_FUNCTION},
        {"no command set", u"\\\\.\\PhysicalDrive9", win32::kIoctlScsiPassThrough,
         scsiBlock({0x12, 0, 0, 0, 36, 0}, 36), ERROR_INVALID_FUNCTION},
        {"a letter's volume", u"\\\\.\\C:", win32::kIoctlAtaPassThrough,
         ataBlock(kIdentifyDevice, 512), ERROR_INVALID_FUNCTION},
        {"malformed", kDrive0.c_str(), win32::kIoctlAtaPassThrough, badLength,
         ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        Block block = c.block;
        DWORD returned = 5;
        EXPECT_FALSE(send(machine_, kept(c.path), c.code, block, &returned)) << c.name;
        EXPECT_EQ(win32::GetLastError(), c.error) << c.name;
        EXPECT_EQ(returned, 0u) << c.name;
        EXPECT_EQ(block, c.block) << c.name;
    }
}

std::vector<std::uint8_t> smartRequest() {
    win32::SendCmdInParams request{};
    request.cBufferSize = 512;
    request.irDriveRegs = {0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0, 0};
    std::vector<std::uint8_t> in(sizeof(request) + 1, 0);
    std::memcpy(in.data(), &request, sizeof(request));
    return in;
}

TEST_F(EmulatedFiles, SmartReceiveDriveData) {
    auto in = smartRequest();
    std::vector<std::uint8_t> out(sizeof(win32::SendCmdOutParams) + 512 + 16, kGuard);
    DWORD returned = 0;
    ASSERT_TRUE(win32::DeviceIoControl(kept(kDrive0), win32::kSmartRcvDriveData, in.data(),
                                       static_cast<DWORD>(in.size()), out.data(), 528, &returned,
                                       nullptr));
    EXPECT_EQ(returned, 528u);
    EXPECT_EQ(headerOf<win32::SendCmdOutParams>(out).cBufferSize, 512u);
    EXPECT_EQ(out[16 + 7], 38);
    EXPECT_EQ(out[528], kGuard);

    // A command the drive aborts comes back as a driver error with the drive's error register.
    ASSERT_TRUE(win32::DeviceIoControl(kept(u"ataNoSmart"), win32::kSmartRcvDriveData, in.data(),
                                       static_cast<DWORD>(in.size()), out.data(), 528, &returned,
                                       nullptr));
    EXPECT_EQ(headerOf<win32::SendCmdOutParams>(out).bDriverError, 1);
    EXPECT_EQ(headerOf<win32::SendCmdOutParams>(out).bIDEError, 0x04);
}

TEST_F(EmulatedFiles, ScsiInquiry) {
    Block block = scsiBlock({0x12, 0, 0, 0, 96, 0}, 96);
    DWORD returned = 0;
    ASSERT_TRUE(send(machine_, kept(u"scsi"), win32::kIoctlScsiPassThrough, block, &returned));
    const auto answer = headerOf<ScsiPassThrough>(block);
    EXPECT_EQ(answer.ScsiStatus, 0);
    EXPECT_EQ(answer.DataTransferLength, 36u);
    EXPECT_EQ(answer.SenseInfoLength, 0);
    EXPECT_EQ(returned, kScsiData + 36);
    EXPECT_EQ(std::string(block.begin() + kScsiData + 8, block.begin() + kScsiData + 36),
              "ACME    Disk            A1  ");
    EXPECT_EQ(block[kScsiData + 36], kGuard); // the rest of the data area is untouched
}

TEST_F(EmulatedFiles, LastErrorBelongsToTheThread) {
    SimulatedMachine machine = SimulatedMachine::fromJson("{}");
    EXPECT_FALSE(machine.closeHandle(nullptr));
    DWORD other = 12345;
    std::thread([&] { other = machine.getLastError(); }).join();
    EXPECT_EQ(other, ERROR_SUCCESS);
    std::thread([&] { machine.createFile(u"\\\\.\\Q:", 0, 0, OPEN_EXISTING, 0); }).join();
    EXPECT_EQ(machine.getLastError(), ERROR_INVALID_HANDLE);
}

} // namespace
} // namespace platform::simulated
