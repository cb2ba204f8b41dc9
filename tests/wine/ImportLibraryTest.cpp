// The DLL bound through its import library, as the suite's other modules use it: the snapshot on
// Wine's machine, and the storage records copied and destroyed across the boundary.

#include "devicetree/GetAllDevices.h"
#include "libOSWindows/ScsiAddress.h"
#include "libOSWindows/WindowsDevice.h"
#include "platform/Win32.h"
#include "tests/wine/CrtHeap.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

using libOSWindows::WindowsDevice;
using systemmonitor::Device;

// Far below one text per round: 200 rounds that each leaked one would add kilobytes.
constexpr std::ptrdiff_t kSlack = 1024;

const Device* childNamed(const Device& parent, const char* name) {
    const auto children = parent.getChildDevices();
    for (const auto& child : children) {
        if (child->getLocalizedName() == name) {
            return child.get();
        }
    }
    return nullptr;
}

// The property's text, or nothing when the node has no such property.
std::string propertyText(const Device& node, const char* key) {
    const auto properties = node.getProperties();
    for (const auto& property : properties) {
        if (property->getKey() == key) {
            return property->getValue().toUtf8();
        }
    }
    return {};
}

TEST(ImportLibrary, SnapshotsAreNewTreesWithTheMachinesMemory) {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    ASSERT_NE(::GlobalMemoryStatusEx(&status), FALSE);
    const double totalMB = static_cast<double>(status.ullTotalPhys) * 0x1p-20;

    const auto root = systemmonitor::getAllDevices();
    ASSERT_NE(root.get(), nullptr);
    EXPECT_EQ(root->getLocalizedName(), "System Root");
    const auto children = root->getChildDevices();
    ASSERT_GT(children.size(), 0u);
    const Device& memory = *children[children.size() - 1];
    EXPECT_EQ(memory.getLocalizedName(), "System Memory");
    EXPECT_EQ(memory.getKey(), "SYSTEM_MEM");
    EXPECT_EQ(memory.getType(), systemmonitor::SYSTEM_MEMORY);
    EXPECT_EQ(childNamed(*root, "System Memory"), &memory);

    // The total is fixed; what is in use moves between the two readings.
    const std::string total = propertyText(memory, "TotalCapacityMB");
    const std::string used = propertyText(memory, "UsedCapacityMB");
    const std::string percent = propertyText(memory, "PercentCapacityUsed");
    ASSERT_FALSE(total.empty());
    ASSERT_FALSE(used.empty());
    ASSERT_FALSE(percent.empty());
    EXPECT_DOUBLE_EQ(std::stod(total), totalMB);
    EXPECT_GT(std::stod(used), 0.0);
    EXPECT_LE(std::stod(used), totalMB);
    EXPECT_GE(std::stoi(percent), 0);
    EXPECT_LE(std::stoi(percent), 100);

    // Every snapshot is a new tree, owned by the caller alone.
    auto second = systemmonitor::getAllDevices();
    ASSERT_NE(second.get(), nullptr);
    EXPECT_NE(second.get(), root.get());
    EXPECT_EQ(second.getCount(), 1);
    auto shared = second;
    EXPECT_EQ(second.getCount(), 2);
}

// These members resolve through the import library only: this program links no storage code.
TEST(ImportLibrary, ScsiAddressIsBuiltAndAssignedByTheLibrary) {
    const auto parts = [](const libOSWindows::ScsiAddress& a) {
        return std::array<int, 4>{a.portNumber, a.pathId, a.targetId, a.lun};
    };
    libOSWindows::ScsiAddress address;
    EXPECT_EQ(parts(address), (std::array<int, 4>{0, 0, 0, 0}));
    address.portNumber = 1;
    address.pathId = 2;
    address.targetId = 3;
    address.lun = 4;
    libOSWindows::ScsiAddress other;
    EXPECT_EQ(&(other = address), &other);
    EXPECT_EQ(parts(other), (std::array<int, 4>{1, 2, 3, 4}));
}

void fill(WindowsDevice& device, const char* tag) {
    const qel::String text = qel::String(smoke::kLongText) + tag;
    device.enumeratorName = text + " enumerator";
    device.friendlyName = text + " friendly";
    device.description = text + " description";
    device.instanceId = text + " instance";
    device.devicePath = text + " path";
}

TEST(ImportLibrary, DeviceRecordsCrossTheBoundaryWithoutLeaks) {
    const std::ptrdiff_t growth = smoke::heapGrowth(200, [] {
        WindowsDevice made; // the library's constructor
        EXPECT_TRUE(made.instanceId.empty());
        fill(made, "made");       // texts allocated here
        WindowsDevice copy(made); // the library copies them
        EXPECT_EQ(copy.enumeratorName, made.enumeratorName);
        EXPECT_EQ(copy.friendlyName, made.friendlyName);
        EXPECT_EQ(copy.description, made.description);
        EXPECT_EQ(copy.instanceId, made.instanceId);
        EXPECT_EQ(copy.devicePath, made.devicePath);
        EXPECT_NE(copy.devicePath.getUCS2Buffer(), made.devicePath.getUCS2Buffer());
        WindowsDevice assigned;
        fill(assigned, "replaced");
        EXPECT_EQ(&(assigned = copy), &assigned); // the library frees texts allocated here
        EXPECT_EQ(assigned.instanceId, made.instanceId);
        copy.friendlyName = qel::String(); // this side frees a text the library allocated
    });                                    // the library destroys all three
    EXPECT_LE(growth, kSlack);
}

TEST(ImportLibrary, LeakMeasureSeesALeakedRecord) {
    std::vector<WindowsDevice*> kept;
    kept.reserve(64);
    const std::ptrdiff_t growth = smoke::heapGrowth(50, [&kept] {
        kept.push_back(new WindowsDevice);
        fill(*kept.back(), "kept");
    });
    EXPECT_GE(growth, static_cast<std::ptrdiff_t>(50 * 5 * 40));
    for (WindowsDevice* device : kept) {
        delete device;
    }
}

} // namespace
