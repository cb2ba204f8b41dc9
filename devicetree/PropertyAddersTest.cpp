#include "devicetree/PropertyAdders.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

namespace systemmonitor {
namespace {

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
        {"integer 0", [](NodePointer& n) { addIntegerProperty(n, "PercentCapacityUsed", 0); }, true,
         INTEGER, "0"},
        {"integer minimum", [](NodePointer& n) { addIntegerProperty(n, "Min", INT_MIN); }, true,
         INTEGER, "-2147483648"},
        {"real 0.0", [](NodePointer& n) { addRealProperty(n, "UsedCapacityMB", 0.0); }, true,
         DOUBLE, "0"},
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
            EXPECT_EQ(properties[0]->getKey(), properties[0]->getLocalizedKey());
        }
    }
}

} // namespace
} // namespace systemmonitor
