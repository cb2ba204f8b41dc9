#include "libOSWindows/DeviceEnumeration.h"

#include "platform/simulated/SimulatedMachine.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace libOSWindows {
namespace {

using platform::simulated::SimulatedMachine;

// One record as "friendly|description|enumerator|instance id|path".
std::vector<std::string> describe(const qel::Array<WindowsDevice>& devices) {
    std::vector<std::string> out;
    for (const WindowsDevice& d : devices) {
        out.push_back(d.friendlyName.toUtf8() + "|" + d.description.toUtf8() + "|" +
                      d.enumeratorName.toUtf8() + "|" + d.instanceId.toUtf8() + "|" +
                      d.devicePath.toUtf8());
    }
    return out;
}

class DeviceEnumerationTest : public testing::Test {
protected:
    // Installs a machine with these devices for the rest of the test.
    void install(const std::string& devices) {
        machine_.emplace(SimulatedMachine::fromJson(R"({"devices": )" + devices + "}"));
        installed_.emplace(*machine_);
    }

    void TearDown() override {
        if (!machine_) {
            return;
        }
        EXPECT_EQ(machine_->deviceSetsDestroyed(), machine_->deviceSetsCreated());
        EXPECT_EQ(machine_->openDeviceSetCount(), 0u);
        EXPECT_EQ(machine_->invalidDeviceSetDestroys(), 0u);
        installed_.reset();
    }

    std::optional<SimulatedMachine> machine_;
    std::optional<platform::ScopedBackend> installed_;
};

TEST_F(DeviceEnumerationTest, HiddenAndMovedDevicesDroppedUnlessAskedFor) {
    install(R"([
      {"friendlyName": "shown", "instanceId": "A", "devnode": {"status": 25174026}},
      {"friendlyName": "hidden", "instanceId": "B", "devnode": {"status": 1073741824}},
      {"friendlyName": "moved", "instanceId": "C", "devnode": {"status": 4096}},
      {"friendlyName": "status unreadable", "instanceId": "E", "devnode": {"status": null}},
      {"friendlyName": "no node", "instanceId": "F"},
      {"friendlyName": "no identifier", "devnode": {"status": 1073741824}}
    ])");
    const auto names = [](const qel::Array<WindowsDevice>& devices) {
        std::string out;
        for (const WindowsDevice& d : devices) {
            out += d.friendlyName.toUtf8() + ";";
        }
        return out;
    };
    qel::Array<WindowsDevice> shown;
    enumerateDevices(shown, &win32::GUID_DEVCLASS_DISKDRIVE, &win32::GUID_DEVINTERFACE_DISK, false);
    EXPECT_EQ(names(shown), "shown;status unreadable;no node;no identifier;");
    qel::Array<WindowsDevice> all;
    enumerateDevices(all, &win32::GUID_DEVCLASS_DISKDRIVE, &win32::GUID_DEVINTERFACE_DISK, true);
    EXPECT_EQ(names(all), "shown;hidden;moved;status unreadable;no node;no identifier;");
}

TEST_F(DeviceEnumerationTest, RegistryTexts) {
    // 1023 characters and the zero fill the 2048-byte buffer; one more does not fit.
    const std::string text1023(1023, 'x');
    const std::string text1024(1024, 'y');
    const std::string first = R"({"friendlyName": ")" + text1023 + R"(", "description": ")" +
                              text1024 + R"(", "enumeratorName": "SCSI", "instanceId": "1"})";
    install("[" + first + R"(,
      {"friendlyName": {"type": 7, "value": ["a", "b"]}, "description": {"type": 2, "value": "c"},
       "enumeratorName": {"type": 4, "value": 5}, "instanceId": "2"},
      {"friendlyName": {"type": 1, "value": "typed"}, "description": "", "instanceId": "3"}
    ])");
    qel::Array<WindowsDevice> devices;
    enumerateDiskDevices(devices);
    EXPECT_EQ(describe(devices), (std::vector<std::string>{
                                     text1023 + "||SCSI|1|",
                                     "|||2|",
                                     "typed|||3|",
                                 }));
}

TEST_F(DeviceEnumerationTest, InstanceIdentifiersOfAnyLength) {
    // 2047 characters and the zero fill the first buffer; longer ones take a second call.
    const std::size_t lengths[] = {2047, 2048, 2049, 5000};
    std::string devices = "[";
    for (const std::size_t length : lengths) {
        devices += R"({"instanceId": ")" + std::string(length, 'I') + R"(", "interfacePath": "p)" +
                   std::to_string(length) + R"("},)";
    }
    devices += R"({"friendlyName": "last"}])";
    install(devices);
    qel::Array<WindowsDevice> records;
    enumerateDiskDevices(records);
    ASSERT_EQ(records.size(), 5u);
    for (std::uint32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(lengths[i]);
        EXPECT_EQ(records[i].instanceId.toUtf8(), std::string(lengths[i], 'I'));
        EXPECT_EQ(records[i].devicePath.toUtf8(), "p" + std::to_string(lengths[i]));
    }
    EXPECT_EQ(records[4].instanceId.toUtf8(), "");
}

TEST_F(DeviceEnumerationTest, InterfaceWalkStopsAtTheFirstDeviceWithoutAnInterface) {
    install(R"([
      {"friendlyName": "before", "instanceId": "A", "interfacePath": "pa"},
      {"friendlyName": "same identifier", "instanceId": "A", "interfacePath": "pz"},
      {"friendlyName": "not in the interface set", "instanceId": "B"},
      {"friendlyName": "no interface", "instanceId": "C", "interfacePath": null},
      {"friendlyName": "after", "instanceId": "D", "interfacePath": "pd"}
    ])");
    qel::Array<WindowsDevice> joined;
    enumerateDiskDevices(joined);
    EXPECT_EQ(describe(joined), (std::vector<std::string>{
                                    "before|||A|pa",
                                    "same identifier|||A|pa", // an identifier keeps its first path
                                    "not in the interface set|||B|",
                                    "no interface|||C|",
                                    "after|||D|",
                                }));

    qel::Array<WindowsDevice> interfaceOnly;
    enumerateDevices(interfaceOnly, nullptr, &win32::GUID_DEVINTERFACE_DISK, false);
    EXPECT_EQ(describe(interfaceOnly),
              (std::vector<std::string>{"before|||A|pa", "same identifier|||A|pz"}));
}

TEST_F(DeviceEnumerationTest, EnumerationsAppend) {
    install(R"([{"friendlyName": "one", "instanceId": "1"}, {"friendlyName": "two"}])");
    qel::Array<WindowsDevice> devices;
    for (int i = 0; i < 5; ++i) {
        enumerateDiskDevices(devices); // 10 records: past the first capacity of 8
    }
    ASSERT_EQ(devices.size(), 10u);
    EXPECT_EQ(devices[0].friendlyName.toUtf8(), "one");
    EXPECT_EQ(devices[9].friendlyName.toUtf8(), "two");
}

TEST_F(DeviceEnumerationTest, NoDeviceSetNoRecords) {
    install(R"([{"friendlyName": "one", "instanceId": "1", "interfacePath": "p"}])");
    const GUID otherClass = {
        0x4d36e965, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    qel::Array<WindowsDevice> devices;
    enumerateDevices(devices, &otherClass, &win32::GUID_DEVINTERFACE_DISK, false);
    enumerateDevices(devices, nullptr, &otherClass, false);
    enumerateDevices(devices, nullptr, nullptr, false); // no set can be built
    EXPECT_EQ(devices.size(), 0u);
}

} // namespace
} // namespace libOSWindows
