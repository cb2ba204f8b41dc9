#include "platform/linux/LinuxBackend.h"

#include "platform/BufferAnswer.h"
#include "platform/WideText.h"
#include "platform/linux/testing/FakeSysfs.h"
#include "platform/linux/testing/TestTree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace platform {
namespace {

class LinuxDiskFactsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sys = new test::TestTree;
        test::addDisk(*sys, test::sataDisk("sda", 1, "8:0"));
        test::setSataSpeed(*sys, 1, "6.0 Gbps");
        test::addDisk(*sys, test::usbDisk("sdb", "8:16"));
        test::addDisk(*sys, test::virtioDisk("vda", "252:0"));
        test::addDisk(*sys, test::cdromDrive("sr0", "11:0"));
        test::addLoop(*sys, "loop0", "7:0");
    }
    static void TearDownTestSuite() {
        delete sys;
        sys = nullptr;
    }
    static test::TestTree* sys;

    static StorageRoots roots() {
        StorageRoots roots;
        roots.sys = sys->root();
        roots.mountInfo = "/nonexistent";
        return roots;
    }
    LinuxBackend api{roots()};

    SP_DEVINFO_DATA device(HDEVINFO set, DWORD index) {
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof(data);
        EXPECT_TRUE(api.setupDiEnumDeviceInfo(set, index, &data));
        return data;
    }

    std::u16string text(HDEVINFO set, SP_DEVINFO_DATA& data, DWORD property) {
        std::vector<BYTE> buffer(2048, 0);
        DWORD type = 0;
        DWORD required = 0;
        if (!api.setupDiGetDeviceRegistryProperty(set, &data, property, &type, buffer.data(), 2048,
                                                  &required)) {
            return u"<failed>";
        }
        EXPECT_EQ(type, REG_SZ);
        return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()));
    }

    std::u16string instanceId(HDEVINFO set, SP_DEVINFO_DATA& data) {
        char16_t buffer[512] = {};
        DWORD required = 0;
        EXPECT_TRUE(api.setupDiGetDeviceInstanceId(set, &data, buffer, 512, &required));
        return buffer;
    }
};

test::TestTree* LinuxDiskFactsTest::sys = nullptr;

TEST_F(LinuxDiskFactsTest, ListsTheDiskDrivesWithTheirRegistryTexts) {
    const HDEVINFO set = api.setupDiGetClassDevs(&win32::GUID_DEVCLASS_DISKDRIVE, DIGCF_PRESENT);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    const struct {
        const char16_t* friendly;
        const char16_t* enumerator;
    } expected[] = {{u"Samsung SSD 860", u"SCSI"},
                    {u"SanDisk Ultra", u"USBSTOR"},
                    {u"Virtio Block Device", u"SCSI"}};
    for (DWORD i = 0; i < 3; ++i) {
        SP_DEVINFO_DATA data = device(set, i);
        EXPECT_TRUE(win32::sameGuid(data.ClassGuid, win32::GUID_DEVCLASS_DISKDRIVE));
        EXPECT_EQ(text(set, data, SPDRP_FRIENDLYNAME), expected[i].friendly);
        EXPECT_EQ(text(set, data, SPDRP_ENUMERATOR_NAME), expected[i].enumerator);
    }
    SP_DEVINFO_DATA past{};
    past.cbSize = sizeof(past);
    EXPECT_FALSE(
        api.setupDiEnumDeviceInfo(set, 3, &past)); // the CD-ROM drive and loop0 are not disks
    EXPECT_EQ(lastError(), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(api.openDeviceSetCount(), 1u);
    EXPECT_TRUE(api.setupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(api.setupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(lastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(api.openDeviceSetCount(), 0u);
}

TEST_F(LinuxDiskFactsTest, AnswersSizesAsSetupApiDoes) {
    const HDEVINFO set = api.setupDiGetClassDevs(&win32::GUID_DEVINTERFACE_DISK,
                                                 DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVINFO_DATA data = device(set, 2);
    SP_DEVICE_INTERFACE_DATA interface {};
    interface.cbSize = sizeof(interface);
    ASSERT_TRUE(
        api.setupDiEnumDeviceInterfaces(set, &data, &win32::GUID_DEVINTERFACE_DISK, 0, &interface));

    // Interface detail: size query, wrong cbSize, too small, and the device data filled on the way.
    DWORD required = 0;
    EXPECT_FALSE(
        api.setupDiGetDeviceInterfaceDetail(set, &interface, nullptr, 0, &required, nullptr));
    EXPECT_EQ(lastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_GT(required, 8u);
    std::vector<BYTE> buffer(required);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = static_cast<DWORD>(required);
    EXPECT_FALSE(
        api.setupDiGetDeviceInterfaceDetail(set, &interface, detail, required, nullptr, nullptr));
    EXPECT_EQ(lastError(), kErrorInvalidUserBuffer);
    detail->cbSize = 8;
    EXPECT_FALSE(api.setupDiGetDeviceInterfaceDetail(set, &interface, detail, required - 2, nullptr,
                                                     nullptr));
    EXPECT_EQ(lastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(
        api.setupDiGetDeviceInterfaceDetail(set, &interface, nullptr, 16, nullptr, nullptr));
    EXPECT_EQ(lastError(), kErrorInvalidUserBuffer);
    SP_DEVINFO_DATA filled{};
    filled.cbSize = sizeof(filled);
    EXPECT_TRUE(
        api.setupDiGetDeviceInterfaceDetail(set, &interface, detail, required, nullptr, &filled));
    EXPECT_EQ(filled.DevInst, data.DevInst);

    // Registry text: bytes including the terminating zero.
    const std::u16string friendly = u"Virtio Block Device";
    DWORD type = 0;
    EXPECT_FALSE(api.setupDiGetDeviceRegistryProperty(set, &data, SPDRP_FRIENDLYNAME, &type,
                                                      nullptr, 0, &required));
    EXPECT_EQ(lastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, 2 * (friendly.size() + 1));
    EXPECT_EQ(type, REG_SZ);
    std::vector<BYTE> text(required);
    EXPECT_FALSE(api.setupDiGetDeviceRegistryProperty(set, &data, SPDRP_FRIENDLYNAME, &type,
                                                      text.data(), required - 1, &required));
    EXPECT_TRUE(api.setupDiGetDeviceRegistryProperty(set, &data, SPDRP_FRIENDLYNAME, &type,
                                                     text.data(), required, nullptr));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text.data())), friendly);
    // Instance identifier: characters including the zero.
    EXPECT_FALSE(api.setupDiGetDeviceInstanceId(set, &data, nullptr, 0, &required));
    EXPECT_EQ(lastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<char16_t> id(required);
    EXPECT_FALSE(api.setupDiGetDeviceInstanceId(set, &data, id.data(), required - 1, nullptr));
    EXPECT_EQ(lastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_TRUE(api.setupDiGetDeviceInstanceId(set, &data, id.data(), required, nullptr));
    EXPECT_EQ(std::u16string(id.data()).size(), required - 1);
    api.setupDiDestroyDeviceInfoList(set);
}

TEST_F(LinuxDiskFactsTest, RejectsForeignAndMalformedArguments) {
    EXPECT_EQ(api.setupDiGetClassDevs(nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE);
    EXPECT_EQ(lastError(), ERROR_INVALID_PARAMETER);

    const GUID mouse = {
        0x4D36E96F, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    const HDEVINFO empty = api.setupDiGetClassDevs(&mouse, DIGCF_PRESENT);
    ASSERT_NE(empty, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    EXPECT_FALSE(api.setupDiEnumDeviceInfo(empty, 0, &data));
    EXPECT_EQ(lastError(), ERROR_NO_MORE_ITEMS);
    api.setupDiDestroyDeviceInfoList(empty);

    const HDEVINFO set = api.setupDiGetClassDevs(&win32::GUID_DEVCLASS_DISKDRIVE, DIGCF_PRESENT);
    data.cbSize = 28; // the 32-bit size
    EXPECT_FALSE(api.setupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_EQ(lastError(), kErrorInvalidUserBuffer);
    EXPECT_FALSE(api.setupDiEnumDeviceInfo(empty, 0, &data)); // destroyed
    EXPECT_EQ(lastError(), ERROR_INVALID_HANDLE);
    SP_DEVINFO_DATA forged{};
    forged.cbSize = sizeof(forged);
    forged.Reserved = 99;
    char16_t id[256];
    EXPECT_FALSE(api.setupDiGetDeviceInstanceId(set, &forged, id, 256, nullptr));
    EXPECT_EQ(lastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(api.setupDiGetDeviceInstanceId(set, nullptr, id, 256, nullptr));
    api.setupDiDestroyDeviceInfoList(set);
}

TEST_F(LinuxDiskFactsTest, LocatesPresentDisksThatAreNeverHidden) {
    const HDEVINFO set = api.setupDiGetClassDevs(&win32::GUID_DEVCLASS_DISKDRIVE, DIGCF_PRESENT);
    for (DWORD i = 0; i < 3; ++i) {
        SP_DEVINFO_DATA data = device(set, i);
        std::u16string id = instanceId(set, data);
        for (auto& c : id) {
            c = static_cast<char16_t>(c >= u'A' && c <= u'Z' ? c + 32 : c);
        }
        DEVINST node = 0;
        ASSERT_EQ(api.cmLocateDevNode(&node, id.c_str(), 0), CR_SUCCESS);
        EXPECT_EQ(node, data.DevInst);
        ULONG status = 0;
        ULONG problem = 7;
        ASSERT_EQ(api.cmGetDevNodeStatus(&status, &problem, node, 0), CR_SUCCESS);
        EXPECT_EQ(status & (DN_NO_SHOW_IN_DM | DN_MOVED), 0u);
        EXPECT_EQ(status & 0xAu, 0xAu);             // driver loaded, started
        EXPECT_EQ((status & 0x4000u) != 0, i == 1); // the USB stick is removable
        EXPECT_EQ(problem, 0u);
    }
    DEVINST node = 5;
    EXPECT_EQ(api.cmLocateDevNode(&node, u"SCSI\\DISK&VEN_NONE\\0", 0), CR_NO_SUCH_DEVNODE);
    EXPECT_EQ(node, 0u);
    ULONG status = 0;
    ULONG problem = 0;
    EXPECT_EQ(api.cmGetDevNodeStatus(&status, &problem, 0x7FFFFFF2, 0), CR_NO_SUCH_DEVNODE);
    api.setupDiDestroyDeviceInfoList(set);
}

} // namespace
} // namespace platform
