// The live machine through the Win32 calls: shapes only (letters map to listed disks, sizes are
// positive), never values, so the test holds on any Linux machine.

#include "platform/Win32.h"
#include "platform/linux/WideText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

namespace platform {
namespace {

struct LiveDisk {
    std::u16string friendlyName;
    std::u16string enumerator;
    std::u16string path;
};

std::u16string registryText(HDEVINFO set, SP_DEVINFO_DATA& data, DWORD property) {
    std::vector<BYTE> buffer(2048, 0);
    DWORD type = 0;
    if (!win32::SetupDiGetDeviceRegistryPropertyW(set, &data, property, &type, buffer.data(), 2048,
                                                  nullptr) ||
        type != REG_SZ) {
        return {};
    }
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()));
}

std::vector<LiveDisk> liveDisks() {
    std::vector<LiveDisk> disks;
    const HDEVINFO set = win32::SetupDiGetClassDevsW(
        &win32::GUID_DEVINTERFACE_DISK, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    for (DWORD i = 0; win32::SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        LiveDisk disk;
        disk.friendlyName = registryText(set, data, SPDRP_FRIENDLYNAME);
        disk.enumerator = registryText(set, data, SPDRP_ENUMERATOR_NAME);
        SP_DEVICE_INTERFACE_DATA interface {};
        interface.cbSize = sizeof(interface);
        if (win32::SetupDiEnumDeviceInterfaces(set, &data, &win32::GUID_DEVINTERFACE_DISK, 0,
                                               &interface)) {
            alignas(8) BYTE buffer[2048] = {};
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer);
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
            if (win32::SetupDiGetDeviceInterfaceDetailW(set, &interface, detail, sizeof(buffer),
                                                        nullptr, nullptr)) {
                disk.path = win32::text(detail->DevicePath);
            }
        }
        disks.push_back(disk);
    }
    EXPECT_EQ(win32::GetLastError(), ERROR_NO_MORE_ITEMS);
    EXPECT_TRUE(win32::SetupDiDestroyDeviceInfoList(set));
    return disks;
}

HANDLE openDevice(const std::u16string& path) {
    return win32::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
}

// The two-step descriptor read of the storage code: the fixed part for the size, then all.
void expectDescriptorParses(HANDLE handle) {
    STORAGE_PROPERTY_QUERY query{};
    std::vector<std::uint8_t> fixed(40);
    DWORD returned = 0;
    ASSERT_TRUE(win32::DeviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query),
                                       fixed.data(), 40, &returned, nullptr));
    STORAGE_DEVICE_DESCRIPTOR descriptor{};
    std::memcpy(&descriptor, fixed.data(), sizeof(descriptor));
    ASSERT_GE(descriptor.Size, 40u);
    ASSERT_LT(descriptor.Size, 4096u);
    std::vector<std::uint8_t> full(descriptor.Size);
    ASSERT_TRUE(win32::DeviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query),
                                       full.data(), descriptor.Size, &returned, nullptr));
    EXPECT_EQ(returned, descriptor.Size);
    EXPECT_LE(descriptor.RemovableMedia, 1);
    for (const DWORD offset : {descriptor.VendorIdOffset, descriptor.ProductIdOffset,
                               descriptor.ProductRevisionOffset, descriptor.SerialNumberOffset}) {
        if (offset != 0) {
            ASSERT_GE(offset, 40u);
            ASSERT_LT(offset, descriptor.Size);
            EXPECT_NE(std::find(full.begin() + offset, full.end(), 0), full.end()); // terminated
        }
    }
}

std::optional<STORAGE_DEVICE_NUMBER> numberOf(const std::u16string& path) {
    const HANDLE handle =
        win32::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    const BOOL ok = win32::DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0,
                                           &number, sizeof(number), &returned, nullptr);
    EXPECT_TRUE(win32::CloseHandle(handle));
    return ok ? std::optional(number) : std::nullopt;
}

TEST(LiveMachineTest, ListsDisksThatOpenUnderTheirInterfacePaths) {
    std::set<DWORD> numbers;
    for (const LiveDisk& disk : liveDisks()) {
        EXPECT_FALSE(disk.friendlyName.empty());
        EXPECT_TRUE(disk.enumerator == u"SCSI" || disk.enumerator == u"IDE" ||
                    disk.enumerator == u"USBSTOR" || disk.enumerator == u"SD");
        ASSERT_TRUE(disk.path.starts_with(u"\\\\?\\")) << utf16ToUtf8(disk.path);
        const auto number = numberOf(disk.path);
        ASSERT_TRUE(number.has_value()) << utf16ToUtf8(disk.path);
        const HANDLE handle = openDevice(disk.path);
        expectDescriptorParses(handle);
        GET_LENGTH_INFORMATION length{};
        DWORD returned = 0;
        if (win32::DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                                   sizeof(length), &returned, nullptr)) {
            EXPECT_GT(length.Length.QuadPart, 0);
        } else {
            EXPECT_EQ(win32::GetLastError(), ERROR_NOT_READY); // a reader without a medium
        }
        EXPECT_TRUE(win32::CloseHandle(handle));
        EXPECT_EQ(number->DeviceType, FILE_DEVICE_DISK);
        EXPECT_TRUE(numbers.insert(number->DeviceNumber).second); // one number per disk
    }
}

TEST(LiveMachineTest, PutsFixedLettersOnListedDisksWithRealSpace) {
    const std::size_t diskCount = liveDisks().size();
    const DWORD mask = win32::GetLogicalDrives();
    EXPECT_NE(mask & (1u << 2), 0u) << "the root file system is C:";
    for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
        if ((mask & (1u << (letter - u'A'))) == 0) {
            continue;
        }
        const std::u16string root = {letter, u':', u'\\'};
        const UINT type = win32::GetDriveTypeW(root.c_str());
        EXPECT_GE(type, DRIVE_REMOVABLE);
        EXPECT_LE(type, DRIVE_RAMDISK);
        EXPECT_EQ(win32::IsNetDrive(letter - u'A'), type == DRIVE_REMOTE ? 1 : 0);
        if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE) {
            continue;
        }
        const auto number = numberOf(std::u16string(u"\\\\.\\") + letter + u":");
        if (number) {
            EXPECT_LT(number->DeviceNumber, diskCount);
        }
        ULARGE_INTEGER available{}, total{}, free{};
        ASSERT_TRUE(win32::GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free));
        EXPECT_GT(total.QuadPart, 0u);
        EXPECT_LE(free.QuadPart, total.QuadPart);
        // Where the volume's identity cannot be read (no udev, a node that does not open) the
        // call fails rather than report a serial it does not know.
        char16_t fileSystem[64] = {};
        if (win32::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                                         fileSystem, 64)) {
            EXPECT_NE(fileSystem[0], 0);
        } else {
            const DWORD error = win32::GetLastError();
            EXPECT_TRUE(error == ERROR_ACCESS_DENIED || error == 1005 /* unrecognized */ ||
                        error == ERROR_NOT_READY)
                << error;
        }
    }
}

TEST(LiveMachineTest, NamesTheSystemAndProgramDrives) {
    char16_t buffer[MAX_PATH + 4] = {};
    const UINT length = win32::GetSystemDirectoryW(buffer, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::u16string(buffer).substr(1, 2), u":\\");
    const DWORD program = win32::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (program > 0) { // a program on a volume without a letter has no Windows name
        EXPECT_EQ(std::u16string(buffer).substr(1, 2), u":\\");
        EXPECT_NE(win32::GetLogicalDrives() & (1u << (buffer[0] - u'A')), 0u);
    }
}

} // namespace
} // namespace platform
