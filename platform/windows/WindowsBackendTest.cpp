// The Windows backend on a live machine (Wine in the test runs): shapes and failure codes, never
// exact values.

#include "platform/windows/WindowsBackend.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

platform::Backend& live() {
    return platform::nativeBackend();
}

TEST(WindowsBackend, IsTheBackendWhenNoneIsInstalled) {
    EXPECT_EQ(&platform::currentBackend(), &live());
    EXPECT_NE(dynamic_cast<platform::WindowsBackend*>(&live()), nullptr);
}

TEST(WindowsBackend, MemoryStatusNeedsItsOwnSize) {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    ASSERT_NE(live().globalMemoryStatusEx(&status), FALSE);
    EXPECT_LE(status.ullAvailPhys, status.ullTotalPhys);
    status.dwLength = sizeof(status) - 1;
    EXPECT_EQ(live().globalMemoryStatusEx(&status), FALSE);
    EXPECT_EQ(live().getLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(WindowsBackend, FilesOpenAndReportMissingOnes) {
    EXPECT_EQ(live().createFile(u"C:\\no such folder\\no such file", GENERIC_READ, FILE_SHARE_READ,
                                OPEN_EXISTING, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(live().getLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    std::vector<char16_t> self(MAX_PATH * 4);
    ASSERT_GT(live().getModuleFileName(self.data(), static_cast<DWORD>(self.size())), 0u);
    HANDLE file = live().createFile(self.data(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    OPEN_EXISTING, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    // A plain file is no storage device: the request fails, and must not write through null.
    STORAGE_DEVICE_NUMBER number{};
    live().deviceIoControl(file, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                           sizeof(number), nullptr);
    EXPECT_NE(live().closeHandle(file), FALSE);
}

TEST(WindowsBackend, WideBuffersKeepTheirBounds) {
    using Call = UINT (*)(char16_t*, UINT);
    const Call calls[] = {
        [](char16_t* buffer, UINT size) { return live().getSystemDirectory(buffer, size); },
        [](char16_t* buffer, UINT size) {
            return static_cast<UINT>(live().getModuleFileName(buffer, size));
        },
    };
    for (const Call call : calls) {
        std::vector<char16_t> full(MAX_PATH * 4, u'#');
        const UINT length = call(full.data(), static_cast<UINT>(full.size()));
        ASSERT_GT(length, 3u);
        ASSERT_LT(length, full.size());
        EXPECT_EQ(full[length], u'\0');
        EXPECT_EQ(full[1], u':');

        // Three units of room: nothing written past them.
        std::vector<char16_t> small(8, u'#');
        const UINT result = call(small.data(), 3);
        EXPECT_EQ(std::u16string(small.data() + 3, 5), u"#####");
        if (call == calls[0]) {
            EXPECT_EQ(result, length + 1); // the size needed, zero included
        }
    }
}

TEST(WindowsBackend, DrivesAndVolumesAgree) {
    const DWORD drives = live().getLogicalDrives();
    ASSERT_NE(drives & (1u << 2), 0u) << "no C:";
    for (int drive = 0; drive < 26; ++drive) {
        const std::u16string root{static_cast<char16_t>(u'A' + drive), u':', u'\\'};
        const UINT type = live().getDriveType(root.c_str());
        EXPECT_EQ((drives & (1u << drive)) == 0, type == DRIVE_NO_ROOT_DIR) << drive;
        // shell32's ordinal 66 answers for the same letter numbering.
        EXPECT_EQ(live().isNetDrive(drive) != 0, type == DRIVE_REMOTE) << drive;
    }
    char16_t fileSystem[MAX_PATH + 1] = {};
    DWORD maxComponent = 0;
    ASSERT_NE(live().getVolumeInformation(u"C:\\", nullptr, 0, nullptr, &maxComponent, nullptr,
                                          fileSystem, MAX_PATH + 1),
              FALSE);
    EXPECT_NE(fileSystem[0], u'\0');
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER free{};
    ASSERT_NE(live().getDiskFreeSpaceEx(u"C:\\", &available, &total, &free), FALSE);
    EXPECT_LE(free.QuadPart, total.QuadPart);
    EXPECT_EQ(live().getDiskFreeSpaceEx(u"C:\\no such folder\\", &available, &total, &free), FALSE);
}

TEST(WindowsBackend, DeviceListsEnumerateToTheirEndAndAreDestroyed) {
    for (const auto& [guid, flags] :
         {std::pair{&win32::GUID_DEVCLASS_DISKDRIVE, DWORD{DIGCF_PRESENT}},
          std::pair{&win32::GUID_DEVINTERFACE_DISK, DWORD{DIGCF_PRESENT | DIGCF_DEVICEINTERFACE}}}) {
        HDEVINFO set = live().setupDiGetClassDevs(guid, flags);
        ASSERT_NE(set, INVALID_HANDLE_VALUE);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        DWORD index = 0;
        for (; index < 256 && live().setupDiEnumDeviceInfo(set, index, &device) != FALSE; ++index) {
            DWORD required = 0;
            EXPECT_EQ(live().setupDiGetDeviceInstanceId(set, &device, nullptr, 0, &required),
                      FALSE);
            EXPECT_EQ(live().getLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
            std::vector<char16_t> id(required + 1);
            EXPECT_NE(live().setupDiGetDeviceInstanceId(set, &device, id.data(), required, nullptr),
                      FALSE);
            EXPECT_EQ(std::u16string(id.data()).size() + 1, required);
        }
        EXPECT_LT(index, 256u);
        EXPECT_EQ(live().getLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
        EXPECT_NE(live().setupDiDestroyDeviceInfoList(set), FALSE);
    }
    DEVINST node = 0;
    EXPECT_NE(live().cmLocateDevNode(&node, u"SYSTEMMONITOR\\NO_SUCH_DEVICE\\0",
                                     CM_LOCATE_DEVNODE_NORMAL),
              static_cast<CONFIGRET>(CR_SUCCESS));
}

} // namespace
