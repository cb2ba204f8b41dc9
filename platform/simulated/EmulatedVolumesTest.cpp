// The emulator's drive letters, volumes and free space (EmulatedVolumes.cpp), through a simulated
// machine.

#include "platform/simulated/SimulatedMachine.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace platform::simulated {
namespace {

const char* const kMachine = R"({"drives": {
    "C": {"type": 3, "volume": {"label": "System", "serial": 2882400018, "fileSystem": "NTFS",
                                "flags": 524288},
          "space": {"total": 1000, "free": 400, "available": 300}},
    "D": {"type": 5}, "R": {"type": 6}, "Y": {"type": 4, "network": 2}, "Z": {"type": 4, "network": 1}
}})";

class EmulatedVolumes : public testing::Test {
protected:
    SimulatedMachine machine_ = SimulatedMachine::fromJson(kMachine);
    ScopedBackend installed_{machine_};
};

TEST_F(EmulatedVolumes, LettersTypesAndNetworkDrives) {
    EXPECT_EQ(win32::GetLogicalDrives(),
              (1u << 2) | (1u << 3) | (1u << 17) | (1u << 24) | (1u << 25));
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
    EXPECT_EQ(win32::GetDriveTypeW(nullptr), DRIVE_NO_ROOT_DIR); // no working directory known
    EXPECT_EQ(win32::IsNetDrive(24), 2);
    EXPECT_EQ(win32::IsNetDrive(25), 1);
    EXPECT_EQ(win32::IsNetDrive(-1), 0);
    EXPECT_EQ(win32::IsNetDrive(26), 0);
}

TEST_F(EmulatedVolumes, VolumeInformation) {
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
        {u"C:\\Windows\\", 64, 64, 144},    // not the root directory
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
        if (&c == cases) { // as much as fits, unterminated
            EXPECT_EQ(label.substr(0, 7), u"System#");
        }
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
    // Null buffers are not asked for.
    EXPECT_TRUE(
        win32::GetVolumeInformationW(u"C:\\", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0));
}

TEST_F(EmulatedVolumes, DiskFreeSpace) {
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

TEST_F(EmulatedVolumes, SystemDirectoryAndModuleFileNameBuffers) {
    SimulatedMachine machine = SimulatedMachine::fromJson(
        R"({"windows": {"systemDirectory": "C:\\W", "moduleFileName": "C:\\a.exe"}})");
    // "C:\W" fits from 5 units on; a smaller buffer gets the size needed, 5, and is untouched.
    std::u16string buffer(6, u'#');
    EXPECT_EQ(machine.getSystemDirectory(buffer.data(), 4), 5u);
    EXPECT_EQ(buffer, u"######");
    EXPECT_EQ(machine.getSystemDirectory(buffer.data(), 5), 4u);
    EXPECT_EQ(buffer, std::u16string(u"C:\\W\0#", 6));

    // "C:\a.exe" is 8 units: a buffer of 8 or less gets it truncated and zero-terminated.
    const std::tuple<DWORD, DWORD, std::u16string, bool> cases[] = {
        {0, 0, u"##########", true},
        {1, 1, std::u16string(u"\0#########", 10), true},
        {8, 8, std::u16string(u"C:\\a.ex\0##", 10), true},
        {9, 8, std::u16string(u"C:\\a.exe\0#", 10), false},
    };
    for (const auto& [size, result, expected, truncated] : cases) {
        std::u16string name(10, u'#');
        machine.closeHandle(nullptr); // leaves a last error that success must not disturb
        EXPECT_EQ(machine.getModuleFileName(name.data(), size), result) << size;
        EXPECT_EQ(name, expected) << size;
        EXPECT_EQ(machine.getLastError(),
                  truncated ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_HANDLE)
            << size;
    }
}

} // namespace
} // namespace platform::simulated
