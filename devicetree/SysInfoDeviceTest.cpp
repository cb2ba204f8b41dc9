#include "devicetree/SysInfoDevice.h"

#include "devicetree/PropertyAdders.h"
#include "foundation/Exception.h"

#include <gtest/gtest.h>

namespace systemmonitor {
namespace {

using sisapi::SysInfoDevice;
using sisapi::SysInfoProperty;
using DevicePointer = qel::SharedPointer<Device, qel::AutoMutexLockingPolicy>;

// Nodes and properties that count their live instances: a tree released by its last handle must
// bring both counts back to zero.
class CountedNode : public SysInfoDevice {
public:
    CountedNode(DeviceType type, const qel::String& name, const qel::String& key)
        : SysInfoDevice(type, name, key) {
        ++live;
    }
    ~CountedNode() override { --live; }
    static inline int live = 0;
};

class CountedProperty : public SysInfoProperty {
public:
    explicit CountedProperty(const qel::String& key) : SysInfoProperty(key, key, INTEGER) {
        ++live;
    }
    ~CountedProperty() override { --live; }
    static inline int live = 0;
};

NodePointer countedNode(DeviceType type, const char* key) {
    return NodePointer(new CountedNode(type, key, key));
}

void addCountedProperty(NodePointer& node, const char* key, int value) {
    SysInfoDevice::PropertyHandle property(new CountedProperty(key));
    property->setValue(value);
    node->addProperty(property);
}

// Root, a package, a disk with a volume: built the way the collectors build it
// (the creator's handle goes at the end).
DevicePointer buildTree() {
    NodePointer root = countedNode(SYSTEM_ROOT, "SYSROOT");
    NodePointer package = countedNode(CPU_PACKAGE, "CPU");
    addCountedProperty(package, "CurrentSpeed", 2400);
    root->addChildDevice(package);
    NodePointer disk = countedNode(DISK, "DISK:S1");
    NodePointer volume = countedNode(VOLUME, "VOLUME:C:");
    addCountedProperty(volume, "PercentCapacityUsed", 50);
    addTextProperty(volume, "Letter", "C:");
    disk->addChildDevice(volume);
    root->addChildDevice(disk);
    return DevicePointer(root);
}

class SysInfoDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        CountedNode::live = 0;
        CountedProperty::live = 0;
    }
    void TearDown() override {
        EXPECT_EQ(CountedNode::live, 0) << "nodes leaked";
        EXPECT_EQ(CountedProperty::live, 0) << "properties leaked";
    }
};

TEST_F(SysInfoDeviceTest, ReturnedHandleIsTheOnlyOneAndReleasesTheWholeTree) {
    DevicePointer* tree = new DevicePointer(buildTree());
    EXPECT_EQ(tree->getCount(), 1u);
    EXPECT_EQ(CountedNode::live, 4);
    EXPECT_EQ(CountedProperty::live, 2);
    delete tree;
}

TEST_F(SysInfoDeviceTest, ExceptionWhileBuildingLeavesNothingBehind) {
    auto build = [] {
        NodePointer root = countedNode(SYSTEM_ROOT, "SYSROOT");
        NodePointer volume = countedNode(VOLUME, "VOLUME:C:");
        addCountedProperty(volume, "PercentCapacityUsed", 1);
        root->addChildDevice(volume);
        const qel::Array<qel::String> volumes;
        addTextProperty(volume, "Letter", volumes[0]); // a collector reading past its list
        return DevicePointer(root);
    };
    EXPECT_THROW(build(), qel::IndexOutOfBounds);
}

} // namespace
} // namespace systemmonitor
