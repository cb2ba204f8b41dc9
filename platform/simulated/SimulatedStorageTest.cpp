#include "platform/simulated/SimulatedMachine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace platform::simulated {
namespace {

const char* const kMachine = R"({
  "drives": {
    "C": {"type": 3, "deviceNumber": 0,
          "volume": {"label": "System", "serial": 2882400018, "fileSystem": "NTFS", "flags": 524288},
          "space": {"total": 1000, "free": 400, "available": 300}},
    "D": {"type": 5, "deviceNumber": 1},
    "E": {"type": 2, "openable": false},
    "R": {"type": 6},
    "Y": {"type": 4, "network": 2},
    "Z": {"type": 4, "network": 1}
  },
  "disks": {
    "\\\\.\\PhysicalDrive0": {
      "deviceNumber": {"type": 7, "number": 0},
      "descriptor": {"removableMedia": false, "busType": 11, "vendorId": "ATA",
                     "productId": "Acme SSD", "productRevision": "1.0", "serialNumber": "S123"},
      "geometry": {"cylinders": 1024, "mediaType": 12, "tracksPerCylinder": 255,
                   "sectorsPerTrack": 63, "bytesPerSector": 512},
      "length": 256060514304
    },
    "\\\\?\\usbstor#disk": {"openable": false},
    "\\\\.\\PhysicalDrive9": {}
  }
})";

const std::u16string kDrive0 = u"\\\\.\\PhysicalDrive0";

class SimulatedStorage : public testing::Test {
protected:
    HANDLE open(const std::u16string& name) {
        return win32::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
    }

    SimulatedMachine machine_ = SimulatedMachine::fromJson(kMachine);
    ScopedBackend installed_{machine_};
};

TEST_F(SimulatedStorage, CreateFileOpensLettersAndDiskPaths) {
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

TEST_F(SimulatedStorage, HandlesAreFreshAndCountedPerPath) {
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
    EXPECT_EQ(machine_.invalidCloses(), 2u);
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
    EXPECT_EQ(machine_.openHandleCount(), 0u);
}

struct DeviceNumberCase {
    std::u16string name;
    bool answers;
    DWORD deviceType;
    DWORD deviceNumber;
    DWORD partition;
};

TEST_F(SimulatedStorage, DeviceNumberOfLettersAndDisks) {
    const DeviceNumberCase cases[] = {
        {u"\\\\.\\C:", true, FILE_DEVICE_DISK, 0, 1},
        {u"\\\\.\\R:", false, 0, 0, 0},
        {kDrive0, true, FILE_DEVICE_DISK, 0, 0},
    };
    for (const auto& c : cases) {
        const HANDLE handle = open(c.name);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        STORAGE_DEVICE_NUMBER number{};
        DWORD returned = 0;
        const BOOL ok = win32::DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0,
                                               &number, sizeof(number), &returned, nullptr);
        EXPECT_EQ(ok != FALSE, c.answers);
        if (c.answers) {
            EXPECT_EQ(returned, sizeof(number));
            EXPECT_EQ(number.DeviceType, c.deviceType);
            EXPECT_EQ(number.DeviceNumber, c.deviceNumber);
            EXPECT_EQ(number.PartitionNumber, c.partition);
            EXPECT_FALSE(win32::DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0,
                                                &number, sizeof(number) - 1, &returned, nullptr));
            EXPECT_EQ(win32::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        } else {
            EXPECT_EQ(win32::GetLastError(), ERROR_INVALID_FUNCTION);
        }
        win32::CloseHandle(handle);
    }
}

class OpenDisk : public SimulatedStorage {
protected:
    void SetUp() override { handle_ = open(kDrive0); }
    void TearDown() override { EXPECT_TRUE(win32::CloseHandle(handle_)); }

    BOOL query(STORAGE_PROPERTY_ID property, void* out, DWORD outSize, DWORD* returned) {
        STORAGE_PROPERTY_QUERY request{};
        request.PropertyId = property;
        request.QueryType = PropertyStandardQuery;
        return win32::DeviceIoControl(handle_, IOCTL_STORAGE_QUERY_PROPERTY, &request,
                                      sizeof(request), out, outSize, returned, nullptr);
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST_F(OpenDisk, DescriptorInTwoRequests) {
    std::vector<std::uint8_t> fixed(40, 0xEE);
    DWORD returned = 0;
    ASSERT_TRUE(query(StorageDeviceProperty, fixed.data(), 12, &returned));
    EXPECT_EQ(returned, 12u);
    EXPECT_EQ(fixed[12], 0xEE);
    STORAGE_DEVICE_DESCRIPTOR header;
    std::memcpy(&header, fixed.data(), 12);
    // "ATA", "Acme SSD", "1.0", "S123" with their zeros follow the 40 bytes.
    EXPECT_EQ(header.Size, 40u + 4 + 9 + 4 + 5);

    std::vector<std::uint8_t> full(header.Size + 8, 0xEE);
    ASSERT_TRUE(query(StorageDeviceProperty, full.data(), header.Size + 8, &returned));
    EXPECT_EQ(returned, header.Size);
    EXPECT_STREQ(reinterpret_cast<const char*>(full.data() + 57), "S123");
    EXPECT_EQ(full[header.Size], 0xEE); // nothing written past the descriptor

    EXPECT_FALSE(query(StorageDeviceProperty, full.data(), 7, &returned));
    EXPECT_EQ(win32::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(query(StorageDeviceTemperatureProperty, full.data(), 64, &returned));
    EXPECT_EQ(win32::GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(returned, 0u);
    // The query itself is too short.
    EXPECT_FALSE(win32::DeviceIoControl(handle_, IOCTL_STORAGE_QUERY_PROPERTY, full.data(), 8,
                                        full.data(), 64, &returned, nullptr));
    EXPECT_EQ(win32::GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(OpenDisk, GeometryAndLength) {
    DISK_GEOMETRY geometry{};
    DWORD returned = 0;
    ASSERT_TRUE(win32::DeviceIoControl(handle_, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0,
                                       &geometry, sizeof(geometry), &returned, nullptr));
    EXPECT_EQ(returned, 24u);
    EXPECT_EQ(geometry.Cylinders.QuadPart, 1024);
    EXPECT_EQ(geometry.BytesPerSector, 512u);

    GET_LENGTH_INFORMATION length{};
    ASSERT_TRUE(win32::DeviceIoControl(handle_, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                                       sizeof(length), &returned, nullptr));
    EXPECT_EQ(returned, 8u);
    EXPECT_EQ(length.Length.QuadPart, 256060514304);

    EXPECT_FALSE(win32::DeviceIoControl(handle_, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, 4,
                                        &returned, nullptr));
    EXPECT_EQ(win32::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(win32::DeviceIoControl(handle_, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, nullptr,
                                        0, &returned, nullptr));
    EXPECT_EQ(win32::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(win32::DeviceIoControl(handle_, 0x00070050, nullptr, 0, &length, sizeof(length),
                                        &returned, nullptr));
    EXPECT_EQ(win32::GetLastError(), ERROR_INVALID_FUNCTION);
}

TEST_F(SimulatedStorage, DiskWithoutFactsFailsEachRequest) {
    const HANDLE handle = open(u"\\\\.\\PhysicalDrive9");
    std::vector<std::uint8_t> buffer(512, 0);
    DWORD returned = 0;
    for (const DWORD code : {IOCTL_STORAGE_GET_DEVICE_NUMBER, IOCTL_STORAGE_QUERY_PROPERTY,
                             IOCTL_DISK_GET_DRIVE_GEOMETRY, IOCTL_DISK_GET_LENGTH_INFO}) {
        EXPECT_FALSE(win32::DeviceIoControl(handle, code, buffer.data(), 12, buffer.data(), 512,
                                            &returned, nullptr));
        EXPECT_EQ(returned, 0u);
    }
    win32::CloseHandle(handle);
}

TEST_F(SimulatedStorage, DiskRemovedByAStepWhileOpen) {
    machine_ = SimulatedMachine::fromJson(
        R"({"disks": {"d": {"length": 5}}, "steps": [{"at": 0}, {"at": 1, "patch": {"disks": {"d": null}}}]})");
    const HANDLE handle = open(u"d");
    machine_.applyStep(1);
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    EXPECT_FALSE(win32::DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                                        sizeof(length), &returned, nullptr));
    EXPECT_EQ(win32::GetLastError(), ERROR_NOT_READY);
    EXPECT_TRUE(win32::CloseHandle(handle));
    EXPECT_EQ(open(u"d"), INVALID_HANDLE_VALUE);
}

TEST_F(SimulatedStorage, LettersTypesAndNetworkDrives) {
    EXPECT_EQ(win32::GetLogicalDrives(),
              (1u << 2) | (1u << 3) | (1u << 4) | (1u << 17) | (1u << 24) | (1u << 25));
    struct Case {
        std::u16string root;
        UINT type;
    };
    const Case cases[] = {
        {u"c:\\", DRIVE_FIXED},        {u"R:\\", DRIVE_RAMDISK},
        {u"\\\\.\\C:\\", DRIVE_FIXED}, {u"F:\\", DRIVE_NO_ROOT_DIR},
        {u"C:", DRIVE_NO_ROOT_DIR},    {u"C:\\Windows\\", DRIVE_NO_ROOT_DIR},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(win32::GetDriveTypeW(c.root.c_str()), c.type);
    }
    EXPECT_EQ(win32::GetDriveTypeW(nullptr), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(win32::IsNetDrive(24), 2);
    EXPECT_EQ(win32::IsNetDrive(25), 1);
    EXPECT_EQ(win32::IsNetDrive(-1), 0);
    EXPECT_EQ(win32::IsNetDrive(26), 0);
}

TEST_F(SimulatedStorage, VolumeInformation) {
    struct Case {
        const char16_t* root;
        DWORD labelSize;
        DWORD fileSystemSize;
        DWORD error;
    };
    const Case cases[] = {
        {u"C:\\", 6, 256, 24},              // "System" needs 7 with its zero
        {u"C:\\", 7, 4, 24},                // "NTFS" needs 5
        {u"D:\\", 64, 64, ERROR_NOT_READY}, // no medium
        {u"Q:\\", 64, 64, 3},               // no such letter
        {u"C:", 64, 64, 123},               // not a root
        {nullptr, 64, 64, 123},
    };
    for (const Case& c : cases) {
        std::u16string label(64, u'#');
        std::u16string fileSystem(64, u'#');
        DWORD serial = 7;
        EXPECT_FALSE(win32::GetVolumeInformationW(c.root, label.data(), c.labelSize, &serial,
                                                  nullptr, nullptr, fileSystem.data(),
                                                  c.fileSystemSize));
        EXPECT_EQ(win32::GetLastError(), c.error);
        EXPECT_EQ(serial, 7u);
    }
    // Exactly room for "System" and "NTFS" with their zeros.
    std::u16string label(7, u'#');
    std::u16string fileSystem(5, u'#');
    DWORD serial = 0;
    DWORD flags = 0;
    ASSERT_TRUE(win32::GetVolumeInformationW(u"\\\\.\\C:\\", label.data(), 7, &serial, nullptr,
                                             &flags, fileSystem.data(), 5));
    EXPECT_EQ(label, std::u16string(u"System\0", 7));
    EXPECT_EQ(fileSystem, std::u16string(u"NTFS\0", 5));
    EXPECT_EQ(serial, 2882400018u);
    EXPECT_EQ(flags, FILE_READ_ONLY_VOLUME);
}

TEST_F(SimulatedStorage, DiskFreeSpace) {
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER free{};
    ASSERT_TRUE(win32::GetDiskFreeSpaceExW(u"\\\\.\\C:\\", &available, &total, &free));
    EXPECT_EQ(available.QuadPart, 300u);
    EXPECT_EQ(total.QuadPart, 1000u);
    EXPECT_EQ(free.QuadPart, 400u);
    EXPECT_TRUE(win32::GetDiskFreeSpaceExW(u"C:", nullptr, nullptr, nullptr));
    EXPECT_FALSE(win32::GetDiskFreeSpaceExW(u"D:\\", &available, &total, &free));
    EXPECT_EQ(win32::GetLastError(), ERROR_NOT_READY);
    EXPECT_FALSE(win32::GetDiskFreeSpaceExW(u"Q:\\", &available, &total, &free));
    EXPECT_EQ(win32::GetLastError(), 3u);
}

} // namespace
} // namespace platform::simulated
