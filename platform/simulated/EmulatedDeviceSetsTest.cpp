// The emulator's SetupAPI and configuration manager (EmulatedDeviceSets.cpp), through a
// simulated machine.

#include "platform/simulated/SimulatedMachine.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace platform::simulated {
namespace {

const std::string kLongId(3000, 'X');

const std::string kMachine = R"({"devices": [
  {"friendlyName": "Acme SSD 512GB", "description": "Disk drive", "enumeratorName": "SCSI",
   "instanceId": "SCSI\\DISK&VEN_ACME\\1", "interfacePath": "\\\\?\\scsi#disk&ven_acme#1",
   "devnode": {"status": 25174026}},
  {"description": {"type": 7, "value": ["a", "b"]}, "instanceId": "USBSTOR\\DISK\\2",
   "interfacePath": null, "devnode": {"status": null}},
  {"friendlyName": {"type": 4, "value": 7}, "instanceId": ")" +
                             kLongId + R"(",
   "devnode": {}},
  {"instanceId": "IDE\\DISK\\4", "interfacePath": "\\\\?\\ide#disk#4"}
]})";

class EmulatedDeviceSets : public testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(machine_.openDeviceSetCount(), 0u);
        EXPECT_EQ(machine_.invalidDeviceSetDestroys(), 0u);
    }

    HDEVINFO disks() {
        return win32::SetupDiGetClassDevsW(&win32::GUID_DEVCLASS_DISKDRIVE, nullptr, nullptr,
                                           DIGCF_PRESENT);
    }
    HDEVINFO interfaces() {
        return win32::SetupDiGetClassDevsW(&win32::GUID_DEVINTERFACE_DISK, nullptr, nullptr,
                                           DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    }

    static SP_DEVINFO_DATA member(HDEVINFO set, DWORD index) {
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof(data);
        EXPECT_TRUE(win32::SetupDiEnumDeviceInfo(set, index, &data));
        return data;
    }

    static std::u16string instanceId(HDEVINFO set, SP_DEVINFO_DATA& data) {
        DWORD required = 0;
        win32::SetupDiGetDeviceInstanceIdW(set, &data, nullptr, 0, &required);
        std::u16string id(required, u'#');
        if (required == 0 ||
            win32::SetupDiGetDeviceInstanceIdW(set, &data, id.data(), required - 1, nullptr) ||
            win32::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return u"(one character less fits)";
        }
        if (!win32::SetupDiGetDeviceInstanceIdW(set, &data, id.data(), required, nullptr)) {
            return u"(failed)";
        }
        id.resize(required - 1);
        return id;
    }

    SimulatedMachine machine_ = SimulatedMachine::fromJson(kMachine);
    ScopedBackend installed_{machine_};
};

TEST_F(EmulatedDeviceSets, DiskDriveClassListsTheDevicesInOrder) {
    const HDEVINFO set = disks();
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    std::vector<std::u16string> ids;
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    while (win32::SetupDiEnumDeviceInfo(set, static_cast<DWORD>(ids.size()), &data)) {
        EXPECT_TRUE(win32::sameGuid(data.ClassGuid, win32::GUID_DEVCLASS_DISKDRIVE));
        ids.push_back(instanceId(set, data));
    }
    EXPECT_EQ(win32::GetLastError(), ERROR_NO_MORE_ITEMS);
    ASSERT_EQ(ids.size(), 4u);
    EXPECT_EQ(ids[0], u"SCSI\\DISK&VEN_ACME\\1");
    EXPECT_EQ(ids[2].size(), 3000u);
    EXPECT_EQ(ids[3], u"IDE\\DISK\\4");

    const HDEVINFO second = interfaces();
    EXPECT_NE(second, set);
    EXPECT_EQ(machine_.openDeviceSetCount(), 2u);
    EXPECT_TRUE(win32::SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(win32::SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(win32::GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(win32::SetupDiDestroyDeviceInfoList(second));
    EXPECT_EQ(machine_.invalidDeviceSetDestroys(), 1u);
    machine_ = SimulatedMachine::fromJson(kMachine); // start the counts afresh for TearDown
}

TEST_F(EmulatedDeviceSets, EnumerationChecksItsArguments) {
    const HDEVINFO set = disks();
    SP_DEVINFO_DATA data{};
    data.cbSize = 28;
    EXPECT_FALSE(win32::SetupDiEnumDeviceInfo(set, 0, &data));
    EXPECT_EQ(win32::GetLastError(), 1784u); // ERROR_INVALID_USER_BUFFER
    data.cbSize = sizeof(data);
    EXPECT_FALSE(win32::SetupDiEnumDeviceInfo(reinterpret_cast<HDEVINFO>(0x99), 0, &data));
    EXPECT_EQ(win32::GetLastError(), ERROR_INVALID_HANDLE);
    // Device data that this set never handed out.
    SP_DEVINFO_DATA forged{};
    forged.cbSize = sizeof(forged);
    forged.Reserved = 17;
    char16_t id[64];
    EXPECT_FALSE(win32::SetupDiGetDeviceInstanceIdW(set, &forged, id, 64, nullptr));
    EXPECT_EQ(win32::GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(win32::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(win32::GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(win32::SetupDiDestroyDeviceInfoList(set));

    const GUID mouse = {
        0x4D36E96F, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    const HDEVINFO empty = win32::SetupDiGetClassDevsW(&mouse, nullptr, nullptr, DIGCF_PRESENT);
    EXPECT_FALSE(win32::SetupDiEnumDeviceInfo(empty, 0, &data));
    EXPECT_EQ(win32::GetLastError(), ERROR_NO_MORE_ITEMS);
    EXPECT_TRUE(win32::SetupDiDestroyDeviceInfoList(empty));
}

TEST_F(EmulatedDeviceSets, InterfaceSetHoldsTheDevicesWithAnInterfaceKey) {
    const HDEVINFO set = interfaces();
    struct Expected {
        std::u16string id;
        bool enumerates;
        std::u16string path;
    };
    const Expected expected[] = {
        {u"SCSI\\DISK&VEN_ACME\\1", true, u"\\\\?\\scsi#disk&ven_acme#1"},
        {u"USBSTOR\\DISK\\2", false, u""},
        {u"IDE\\DISK\\4", true, u"\\\\?\\ide#disk#4"},
    };
    DWORD index = 0;
    for (const Expected& e : expected) {
        SP_DEVINFO_DATA data = member(set, index++);
        EXPECT_EQ(instanceId(set, data), e.id);
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        const BOOL found = win32::SetupDiEnumDeviceInterfaces(
            set, &data, &win32::GUID_DEVINTERFACE_DISK, 0, &interfaceData);
        ASSERT_EQ(found != FALSE, e.enumerates) << index;
        if (!found) {
            EXPECT_EQ(win32::GetLastError(), ERROR_NO_MORE_ITEMS);
            continue;
        }
        std::vector<std::uint8_t> buffer(2048, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        DWORD required = 0;
        SP_DEVINFO_DATA owner{};
        owner.cbSize = sizeof(owner);
        ASSERT_TRUE(win32::SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, 2048,
                                                            &required, &owner));
        EXPECT_EQ(required, 4 + 2 * (e.path.size() + 1));
        EXPECT_EQ(std::u16string(win32::text(detail->DevicePath)), e.path);
        EXPECT_EQ(owner.DevInst, data.DevInst);
    }
    EXPECT_TRUE(win32::SetupDiDestroyDeviceInfoList(set));
}

TEST_F(EmulatedDeviceSets, InterfaceDetailSizeProtocol) {
    const HDEVINFO set = interfaces();
    SP_DEVINFO_DATA data = member(set, 0);
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof(interfaceData);
    ASSERT_TRUE(win32::SetupDiEnumDeviceInterfaces(set, &data, &win32::GUID_DEVINTERFACE_DISK, 0,
                                                   &interfaceData));
    const DWORD needed = 4 + 2 * (std::u16string_view(u"\\\\?\\scsi#disk&ven_acme#1").size() + 1);
    std::vector<std::uint8_t> buffer(needed + 8, 0xEE);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    struct Case {
        bool withBuffer;
        DWORD cbSize;
        DWORD size;
        DWORD error; // ERROR_SUCCESS: succeeds
    };
    const Case cases[] = {
        {false, 0, 0, ERROR_INSUFFICIENT_BUFFER},
        {false, 0, 16, 1784},
        {true, 6, needed, 1784}, // the fixed part is 8 bytes in 64-bit code
        {true, 8, needed - 1, ERROR_INSUFFICIENT_BUFFER},
        {true, 8, needed, ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        std::fill(buffer.begin(), buffer.end(), 0xEE);
        detail->cbSize = c.cbSize;
        DWORD required = 0;
        const BOOL ok = win32::SetupDiGetDeviceInterfaceDetailW(
            set, &interfaceData, c.withBuffer ? detail : nullptr, c.size, &required, nullptr);
        EXPECT_EQ(ok != FALSE, c.error == ERROR_SUCCESS) << c.size;
        if (c.error != ERROR_SUCCESS) {
            EXPECT_EQ(win32::GetLastError(), c.error) << c.size;
            EXPECT_EQ(buffer[4], 0xEE);
        }
        if (c.error != 1784) {
            EXPECT_EQ(required, needed);
        }
    }
    EXPECT_EQ(buffer[needed - 1], 0);
    EXPECT_EQ(buffer[needed], 0xEE);
    EXPECT_TRUE(win32::SetupDiDestroyDeviceInfoList(set));
}

TEST_F(EmulatedDeviceSets, RegistryProperties) {
    const HDEVINFO set = disks();
    struct Case {
        DWORD index;
        DWORD property;
        bool present;
        DWORD type;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {0, SPDRP_ENUMERATOR_NAME, true, REG_SZ, {'S', 0, 'C', 0, 'S', 0, 'I', 0, 0, 0}},
        {1, SPDRP_FRIENDLYNAME, false, 0, {}},
        {1, SPDRP_DEVICEDESC, true, REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
        {2, SPDRP_FRIENDLYNAME, true, REG_DWORD, {7, 0, 0, 0}},
        {0, 0x1C, false, 0, {}},
    };
    for (const Case& c : cases) {
        SP_DEVINFO_DATA data = member(set, c.index);
        DWORD type = 99;
        DWORD required = 0;
        // The size and type first, then too small a buffer, then enough.
        EXPECT_FALSE(win32::SetupDiGetDeviceRegistryPropertyW(set, &data, c.property, &type,
                                                              nullptr, 0, &required));
        if (!c.present) {
            EXPECT_EQ(win32::GetLastError(), ERROR_INVALID_DATA);
            continue;
        }
        EXPECT_EQ(win32::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(required, c.bytes.size());
        std::vector<std::uint8_t> buffer(64, 0xEE);
        EXPECT_FALSE(win32::SetupDiGetDeviceRegistryPropertyW(
            set, &data, c.property, nullptr, buffer.data(), required - 1, nullptr));
        EXPECT_EQ(win32::GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        ASSERT_TRUE(win32::SetupDiGetDeviceRegistryPropertyW(set, &data, c.property, &type,
                                                             buffer.data(), 64, &required));
        EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + required), c.bytes);
        EXPECT_EQ(buffer[required], 0xEE);
    }
    EXPECT_TRUE(win32::SetupDiDestroyDeviceInfoList(set));
}

TEST_F(EmulatedDeviceSets, DeviceNodes) {
    struct Case {
        std::u16string id;
        CONFIGRET locate;
        CONFIGRET status;
        ULONG value;
    };
    const Case cases[] = {
        {u"SCSI\\DISK&VEN_ACME\\1", CR_SUCCESS, CR_SUCCESS, 25174026},
        {u"scsi\\disk&ven_acme\\1", CR_SUCCESS, CR_SUCCESS, 25174026}, // in any case
        {u"USBSTOR\\DISK\\2", CR_SUCCESS, CR_FAILURE, 0},
        {std::u16string(kLongId.begin(), kLongId.end()), CR_SUCCESS, CR_FAILURE, 0},
        {u"IDE\\DISK\\4", CR_NO_SUCH_DEVNODE, 0, 0}, // no devnode
        {u"", CR_SUCCESS, CR_SUCCESS, 0x0180000A},   // the root of the device tree
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        DEVINST node = 99;
        EXPECT_EQ(win32::CM_Locate_DevNodeW(&node, c.id.c_str(), CM_LOCATE_DEVNODE_NORMAL),
                  c.locate);
        if (c.locate != CR_SUCCESS) {
            EXPECT_EQ(node, 0u);
            continue;
        }
        ULONG status = 0;
        ULONG problem = 5;
        EXPECT_EQ(win32::CM_Get_DevNode_Status(&status, &problem, node, 0), c.status);
        if (c.status == CR_SUCCESS) {
            EXPECT_EQ(status, c.value);
            EXPECT_EQ(problem, 0u);
        }
    }
    ULONG status = 0;
    ULONG problem = 0;
    EXPECT_EQ(win32::CM_Get_DevNode_Status(&status, &problem, 0, 0), 0x05u); // CR_INVALID_DEVNODE
    EXPECT_EQ(win32::CM_Get_DevNode_Status(&status, &problem, 6, 0), CR_NO_SUCH_DEVNODE);
}

TEST_F(EmulatedDeviceSets, ASetKeepsTheDevicesItWasBuiltWith) {
    machine_ = SimulatedMachine::fromJson(
        R"({"devices": [{"instanceId": "A"}], "steps": [{"at": 1, "patch": {"devices": []}}]})");
    const HDEVINFO set = disks();
    machine_.applyStep(0);
    SP_DEVINFO_DATA data = member(set, 0);
    EXPECT_EQ(instanceId(set, data), u"A");
    EXPECT_TRUE(win32::SetupDiDestroyDeviceInfoList(set));
}

} // namespace
} // namespace platform::simulated
