#include "devicetree/PropertyAdders.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace systemmonitor {
namespace {

TEST(PropertyAddersTest, EmptyTextAddsNothingButZeroNumbersAreAdded) {
    using Add = void (*)(NodePointer&);
    struct Case {
        const char* name;
        Add add;
        ValueType type;
        const char* value; // null: nothing added
    };
    const Case cases[] = {
        {"empty text", [](NodePointer& n) { addTextProperty(n, "Serial", ""); }, STRING, nullptr},
        {"null text", [](NodePointer& n) { addTextProperty(n, "Serial", qel::String()); }, STRING,
         nullptr},
        {"text \"0\"", [](NodePointer& n) { addTextProperty(n, "Serial", "0"); }, STRING, "0"},
        {"integer 0", [](NodePointer& n) { addIntegerProperty(n, "PercentCapacityUsed", 0); },
         INTEGER, "0"},
        {"integer minimum", [](NodePointer& n) { addIntegerProperty(n, "Min", INT_MIN); }, INTEGER,
         "-2147483648"},
        {"real 0.0", [](NodePointer& n) { addRealProperty(n, "UsedCapacityMB", 0.0); }, DOUBLE,
         "0"},
        {"real 0.5", [](NodePointer& n) { addRealProperty(n, "Usage", 0.5); }, DOUBLE, "0.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NodePointer node = makeNode(DISK, "Disk", "DISK:X");
        c.add(node);
        const qel::Array<Device::PropertyPointer> properties = node->getProperties();
        ASSERT_EQ(properties.size(), c.value != nullptr ? 1u : 0u);
        if (c.value != nullptr) {
            EXPECT_EQ(properties[0]->getValueType(), c.type);
            EXPECT_EQ(properties[0]->getValue().toUtf8(), c.value);
            EXPECT_EQ(properties[0]->getKey(), properties[0]->getLocalizedKey());
        }
    }
}

} // namespace
} // namespace systemmonitor
