#include "devicetree/PropertyAdders.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

namespace systemmonitor {
namespace {

using sisapi::SysInfoProperty;

const SysInfoProperty& propertyAt(const NodePointer& node, std::uint32_t index) {
    // The node keeps the property alive; the returned array only holds extra handles.
    return static_cast<const SysInfoProperty&>(*node->getProperties()[index]);
}

TEST(PropertyAddersTest, EmptyTextAddsNothingButZeroNumbersAreAdded) {
    struct Case {
        const char* name;
        std::function<void(NodePointer&)> add;
        bool added;
        ValueType type;
        const char* value;
    };
    const Case cases[] = {
        {"empty text", [](NodePointer& n) { addTextProperty(n, "Serial", ""); }, false, STRING, ""},
        {"null text", [](NodePointer& n) { addTextProperty(n, "Serial", qel::String()); }, false,
         STRING, ""},
        {"text \"0\"", [](NodePointer& n) { addTextProperty(n, "Serial", "0"); }, true, STRING,
         "0"},
        {"one blank", [](NodePointer& n) { addTextProperty(n, "Label", " "); }, true, STRING, " "},
        {"integer 0", [](NodePointer& n) { addIntegerProperty(n, "PercentCapacityUsed", 0); }, true,
         INTEGER, "0"},
        {"integer -1", [](NodePointer& n) { addIntegerProperty(n, "TemperatureCelsius", -1); },
         true, INTEGER, "-1"},
        {"integer minimum", [](NodePointer& n) { addIntegerProperty(n, "Min", INT_MIN); }, true,
         INTEGER, "-2147483648"},
        {"real 0.0", [](NodePointer& n) { addRealProperty(n, "UsedCapacityMB", 0.0); }, true,
         DOUBLE, "0"},
        {"real 8192", [](NodePointer& n) { addRealProperty(n, "TotalCapacityMB", 8192.0); }, true,
         DOUBLE, "8192"},
        {"real 0.5", [](NodePointer& n) { addRealProperty(n, "Usage", 0.5); }, true, DOUBLE, "0.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NodePointer node = makeNode(DISK, "Disk", "DISK:X");
        c.add(node);
        const qel::Array<Device::PropertyPointer> properties = node->getProperties();
        ASSERT_EQ(properties.size(), c.added ? 1u : 0u);
        if (c.added) {
            EXPECT_EQ(properties[0]->getValueType(), c.type);
            EXPECT_EQ(properties[0]->getValue().toUtf8(), c.value);
        }
    }
}

TEST(PropertyAddersTest, KeyIsAlsoTheLocalizedKeyAndGettersGiveBackTheValue) {
    NodePointer node = makeNode(SYSTEM_MEMORY, "System Memory", "SYSTEM_MEM");
    addIntegerProperty(node, "PercentCapacityUsed", 37);
    addRealProperty(node, "TotalCapacityMB", 8192.0);
    addTextProperty(node, "Model", "WDC WD10EZEX-08WN4A0");
    ASSERT_EQ(node->getProperties().size(), 3u);

    const SysInfoProperty& percent = propertyAt(node, 0);
    EXPECT_EQ(percent.getKey(), "PercentCapacityUsed");
    EXPECT_EQ(percent.getLocalizedKey(), "PercentCapacityUsed");
    EXPECT_EQ(percent.getIntegerValue(), 37);

    const SysInfoProperty& total = propertyAt(node, 1);
    EXPECT_EQ(total.getKey(), "TotalCapacityMB");
    EXPECT_EQ(total.getLocalizedKey(), "TotalCapacityMB");
    EXPECT_EQ(total.getRealValue(), 8192.0);

    const SysInfoProperty& model = propertyAt(node, 2);
    EXPECT_EQ(model.getValueType(), STRING);
    EXPECT_EQ(model.getValue(), "WDC WD10EZEX-08WN4A0");
    EXPECT_EQ(model.getLocalizedKey(), "Model");
}

TEST(PropertyAddersTest, PropertiesStandInTheOrderTheyWereAdded) {
    NodePointer node = makeNode(CPU_PACKAGE, "Intel", "CPU0");
    const char* const keys[] = {"CPUID", "Family", "Model", "Stepping", "CurrentSpeed"};
    for (int i = 0; i < 5; ++i) {
        addIntegerProperty(node, keys[i], i);
    }
    addTextProperty(node, "Skipped", "");
    const qel::Array<Device::PropertyPointer> properties = node->getProperties();
    ASSERT_EQ(properties.size(), 5u);
    for (std::uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(properties[i]->getKey(), keys[i]);
    }
}

TEST(PropertyAddersTest, MakeNodeGivesTheOnlyHandle) {
    const NodePointer node = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
    EXPECT_EQ(node.getCount(), 1u);
    EXPECT_EQ(node->getType(), SYSTEM_ROOT);
    EXPECT_EQ(node->getLocalizedName(), "System Root");
    EXPECT_EQ(node->getKey(), "SYSROOT");
    EXPECT_EQ(node->getChildDevices().size(), 0u);
    EXPECT_EQ(node->getProperties().size(), 0u);
}

} // namespace
} // namespace systemmonitor
