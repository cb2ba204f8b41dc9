// The DLL bound through its import library, as the suite's other modules use it: the snapshot on
// Wine's machine, and the storage records copied and destroyed across the boundary.

#include "devicetree/GetAllDevices.h"
#include "platform/Win32.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using systemmonitor::Device;

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

TEST(ImportLibrary, MemoryNodeHoldsTheMachinesFigures) {
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
}

TEST(ImportLibrary, EverySnapshotIsANewTreeOwnedByTheCaller) {
    auto first = systemmonitor::getAllDevices();
    auto second = systemmonitor::getAllDevices();
    ASSERT_NE(first.get(), nullptr);
    ASSERT_NE(second.get(), nullptr);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(first.getCount(), 1);
    auto shared = first;
    EXPECT_EQ(first.getCount(), 2);
}

} // namespace
