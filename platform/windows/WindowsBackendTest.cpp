// The Windows backend on a live machine (Wine in the test runs): shapes and failure codes, never
// exact values.

#include "platform/windows/WindowsBackend.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::Backend;

Backend& live() {
    return platform::nativeBackend();
}

std::u16string rootOf(int drive) {
    return std::u16string{static_cast<char16_t>(u'A' + drive), u':', u'\\'};
}

bool endsWithNoCase(const std::u16string& text, const std::u16string& suffix) {
    if (text.size() < suffix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char16_t a = text[text.size() - suffix.size() + i];
        char16_t b = suffix[i];
        if (a >= u'A' && a <= u'Z') {
            a = static_cast<char16_t>(a - u'A' + u'a');
        }
        if (a != b) {
            return false;
        }
    }
    return true;
}

TEST(WindowsBackend, IsTheBackendWhenNoneIsInstalled) {
    EXPECT_EQ(&platform::currentBackend(), &live());
    EXPECT_NE(dynamic_cast<platform::WindowsBackend*>(&live()), nullptr);
}

TEST(WindowsBackend, ClockNeverGoesBack) {
    const double first = live().monotonicSeconds();
    const double second = live().monotonicSeconds();
    EXPECT_GT(first, 0.0);
    EXPECT_GE(second, first);
}

TEST(WindowsBackend, MemoryStatusNeedsItsOwnSize) {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    ASSERT_NE(live().globalMemoryStatusEx(&status), FALSE);
    EXPECT_GT(status.ullTotalPhys, 0u);
    EXPECT_LE(status.ullAvailPhys, status.ullTotalPhys);
    EXPECT_LE(status.dwMemoryLoad, 100u);

    MEMORYSTATUSEX wrong{};
    wrong.dwLength = sizeof(wrong) - 1;
    EXPECT_EQ(live().globalMemoryStatusEx(&wrong), FALSE);
    EXPECT_EQ(live().getLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(WindowsBackend, FilesOpenCloseOnceAndReportMissingOnes) {
    EXPECT_EQ(live().createFile(u"C:\\no such folder\\no such file", GENERIC_READ, FILE_SHARE_READ,
                                OPEN_EXISTING, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(live().getLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(live().createFile(u"C:\\no such file.systemmonitor", GENERIC_READ, FILE_SHARE_READ,
                                OPEN_EXISTING, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(live().getLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    std::vector<char16_t> self(MAX_PATH * 4);
    ASSERT_GT(live().getModuleFileName(self.data(), static_cast<DWORD>(self.size())), 0u);
    HANDLE file = live().createFile(self.data(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    OPEN_EXISTING, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_NE(live().closeHandle(file), FALSE);
}

TEST(WindowsBackend, ControlRequestWithoutByteCountDoesNotFault) {
    std::vector<char16_t> self(MAX_PATH * 4);
    ASSERT_GT(live().getModuleFileName(self.data(), static_cast<DWORD>(self.size())), 0u);
    HANDLE file = live().createFile(self.data(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    OPEN_EXISTING, 0);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    STORAGE_DEVICE_NUMBER number{};
    // A plain file is no storage device: the request fails, and must not write through null.
    live().deviceIoControl(file, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                           sizeof(number), nullptr);
    EXPECT_NE(live().closeHandle(file), FALSE);
}

TEST(WindowsBackend, WideBuffersKeepTheirBounds) {
    struct Case {
        const char* what;
        UINT (*call)(char16_t*, UINT);
        const char16_t* suffix;
    };
    const Case cases[] = {
        {"system directory",
         [](char16_t* buffer, UINT size) { return live().getSystemDirectory(buffer, size); },
         u"\\system32"},
        {"module file name",
         [](char16_t* buffer, UINT size) {
             return static_cast<UINT>(live().getModuleFileName(buffer, size));
         },
         u".exe"},
    };
    for (const Case& c : cases) {
        std::vector<char16_t> full(MAX_PATH * 4, u'#');
        const UINT length = c.call(full.data(), static_cast<UINT>(full.size()));
        ASSERT_GT(length, 3u) << c.what;
        ASSERT_LT(length, full.size()) << c.what;
        const std::u16string text(full.data(), length);
        EXPECT_EQ(full[length], u'\0') << c.what;
        EXPECT_EQ(text[1], u':') << c.what;
        EXPECT_EQ(text[2], u'\\') << c.what;
        EXPECT_TRUE(endsWithNoCase(text, c.suffix)) << c.what;

        // Three units of room: nothing written past them.
        std::vector<char16_t> small(8, u'#');
        c.call(small.data(), 3);
        for (std::size_t i = 3; i < small.size(); ++i) {
            EXPECT_EQ(small[i], u'#') << c.what << " wrote unit " << i;
        }
    }
}

TEST(WindowsBackend, SystemDirectoryTooSmallTellsTheSizeNeeded) {
    std::vector<char16_t> full(MAX_PATH * 4);
    const UINT length = live().getSystemDirectory(full.data(), static_cast<UINT>(full.size()));
    ASSERT_GT(length, 3u);
    char16_t small[3] = {};
    EXPECT_EQ(live().getSystemDirectory(small, 3), length + 1);
}

TEST(WindowsBackend, DriveLettersAgreeAcrossCalls) {
    const DWORD drives = live().getLogicalDrives();
    ASSERT_NE(drives & (1u << 2), 0u) << "no C:";
    EXPECT_EQ(live().getDriveType(u"C:\\"), DRIVE_FIXED);
    for (int drive = 0; drive < 26; ++drive) {
        const std::u16string root = rootOf(drive);
        const UINT type = live().getDriveType(root.c_str());
        if ((drives & (1u << drive)) == 0) {
            EXPECT_EQ(type, DRIVE_NO_ROOT_DIR) << static_cast<char>('A' + drive);
            continue;
        }
        // shell32's ordinal 66 answers for the same letter numbering.
        EXPECT_EQ(live().isNetDrive(drive) != 0, type == DRIVE_REMOTE)
            << static_cast<char>('A' + drive);
    }
}

TEST(WindowsBackend, VolumeOfTheSystemDriveAnswers) {
    char16_t name[MAX_PATH + 1] = {};
    char16_t fileSystem[MAX_PATH + 1] = {};
    DWORD serial = 0;
    DWORD maxComponent = 0;
    DWORD flags = 0;
    ASSERT_NE(live().getVolumeInformation(u"C:\\", name, MAX_PATH + 1, &serial, &maxComponent,
                                          &flags, fileSystem, MAX_PATH + 1),
              FALSE);
    EXPECT_NE(fileSystem[0], u'\0');
    EXPECT_GT(maxComponent, 0u);

    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER free{};
    ASSERT_NE(live().getDiskFreeSpaceEx(u"C:\\", &available, &total, &free), FALSE);
    EXPECT_GT(total.QuadPart, 0u);
    EXPECT_LE(free.QuadPart, total.QuadPart);
    EXPECT_LE(available.QuadPart, free.QuadPart);

    EXPECT_EQ(live().getDiskFreeSpaceEx(u"C:\\no such folder\\", &available, &total, &free), FALSE);
}

TEST(WindowsBackend, DeviceListsEnumerateToTheirEndAndAreDestroyed) {
    struct Case {
        const char* what;
        const GUID* guid;
        DWORD flags;
    };
    const Case cases[] = {
        {"disk drives", &win32::GUID_DEVCLASS_DISKDRIVE, DIGCF_PRESENT},
        {"disk interfaces", &win32::GUID_DEVINTERFACE_DISK, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE},
    };
    for (const Case& c : cases) {
        HDEVINFO set = live().setupDiGetClassDevs(c.guid, c.flags);
        ASSERT_NE(set, INVALID_HANDLE_VALUE) << c.what;
        DWORD index = 0;
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        for (; index < 256 && live().setupDiEnumDeviceInfo(set, index, &device) != FALSE; ++index) {
            DWORD required = 0;
            EXPECT_EQ(live().setupDiGetDeviceInstanceId(set, &device, nullptr, 0, &required),
                      FALSE);
            EXPECT_EQ(live().getLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
            ASSERT_GT(required, 1u) << c.what;
            std::vector<char16_t> id(required);
            EXPECT_NE(live().setupDiGetDeviceInstanceId(set, &device, id.data(), required, nullptr),
                      FALSE)
                << c.what;
            EXPECT_EQ(std::u16string(id.data()).size() + 1, required) << c.what;
        }
        EXPECT_LT(index, 256u) << c.what;
        EXPECT_EQ(live().getLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS)) << c.what;

        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        for (DWORD i = 0; i < 256 && live().setupDiEnumDeviceInterfaces(
                                         set, nullptr, &win32::GUID_DEVINTERFACE_DISK, i,
                                         &interfaceData) != FALSE;
             ++i) {
            DWORD required = 0;
            EXPECT_EQ(live().setupDiGetDeviceInterfaceDetail(set, &interfaceData, nullptr, 0,
                                                             &required, nullptr),
                      FALSE);
            EXPECT_GT(required, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) << c.what;
        }
        EXPECT_NE(live().setupDiDestroyDeviceInfoList(set), FALSE) << c.what;
    }
}

TEST(WindowsBackend, ConfigurationManagerRejectsAnUnknownDevice) {
    DEVINST node = 0;
    EXPECT_NE(live().cmLocateDevNode(&node, u"SYSTEMMONITOR\\NO_SUCH_DEVICE\\0",
                                     CM_LOCATE_DEVNODE_NORMAL),
              static_cast<CONFIGRET>(CR_SUCCESS));
}

} // namespace
