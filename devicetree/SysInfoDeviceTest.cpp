#include "devicetree/SysInfoDevice.h"

#include "devicetree/PropertyAdders.h"
#include "foundation/Exception.h"

#include <gtest/gtest.h>

#include <string>

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

// Root, two packages of two cores each, a disk with a volume, and memory: the shape of a
// snapshot, built the way the collectors build it (the creator's handle goes at the end).
DevicePointer buildTree() {
    NodePointer root = countedNode(SYSTEM_ROOT, "SYSROOT");
    {
        NodePointer cpu = countedNode(SYSTEM_CPU, "SYSCPU");
        for (int p = 0; p < 2; ++p) {
            NodePointer package = countedNode(CPU_PACKAGE, "CPU");
            addCountedProperty(package, "CurrentSpeed", 2400 + p);
            for (int c = 0; c < 2; ++c) {
                NodePointer core = countedNode(CPU_CORE, "Core");
                addCountedProperty(core, "TemperatureCelsius", 40 + c);
                package->addChildDevice(core);
            }
            cpu->addChildDevice(package);
        }
        root->addChildDevice(cpu);
    }
    {
        NodePointer disk = countedNode(DISK, "DISK:S1");
        NodePointer volume = countedNode(VOLUME, "VOLUME:C:");
        addCountedProperty(volume, "PercentCapacityUsed", 50);
        addTextProperty(volume, "Letter", "C:");
        disk->addChildDevice(volume);
        root->addChildDevice(disk);
    }
    {
        NodePointer memory = countedNode(SYSTEM_MEMORY, "SYSTEM_MEM");
        addCountedProperty(memory, "PercentCapacityUsed", 37);
        addRealProperty(memory, "TotalCapacityMB", 8192.0);
        root->addChildDevice(memory);
    }
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
    EXPECT_EQ(CountedNode::live, 11);
    EXPECT_EQ(CountedProperty::live, 8);
    EXPECT_EQ((*tree)->getType(), SYSTEM_ROOT);
    delete tree;
    EXPECT_EQ(CountedNode::live, 0);
    EXPECT_EQ(CountedProperty::live, 0);
}

TEST_F(SysInfoDeviceTest, GettersGiveBackWhatWasSetInOrder) {
    const DevicePointer tree = buildTree();
    const qel::Array<DevicePointer> top = tree->getChildDevices();
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[0]->getKey(), "SYSCPU");
    EXPECT_EQ(top[1]->getKey(), "DISK:S1");
    EXPECT_EQ(top[2]->getKey(), "SYSTEM_MEM");
    EXPECT_EQ(top[2]->getType(), SYSTEM_MEMORY);
    EXPECT_EQ(top[2]->getLocalizedName(), "SYSTEM_MEM");

    const qel::Array<DevicePointer> packages = top[0]->getChildDevices();
    ASSERT_EQ(packages.size(), 2u);
    EXPECT_EQ(packages[1]->getProperties()[0]->getValue(), "2401");
    EXPECT_EQ(packages[1]->getChildDevices().size(), 2u);
    EXPECT_EQ(packages[1]->getChildDevices()[1]->getProperties()[0]->getValue(), "41");

    const qel::Array<DevicePointer> volumes = top[1]->getChildDevices();
    ASSERT_EQ(volumes.size(), 1u);
    const qel::Array<Device::PropertyPointer> properties = volumes[0]->getProperties();
    ASSERT_EQ(properties.size(), 2u);
    EXPECT_EQ(properties[0]->getKey(), "PercentCapacityUsed");
    EXPECT_EQ(properties[1]->getValue(), "C:");
    EXPECT_EQ(properties[1]->getValueType(), STRING);
}

TEST_F(SysInfoDeviceTest, ChildHandedToItsParentOutlivesItsCreatorsHandle) {
    NodePointer parent = countedNode(DISK, "DISK:A");
    NodePointer child = countedNode(VOLUME, "VOLUME:D:");
    CountedNode* const raw = static_cast<CountedNode*>(child.get());
    parent->addChildDevice(child);
    EXPECT_EQ(child.getCount(), 2u);
    child = NodePointer();
    EXPECT_EQ(CountedNode::live, 2);
    const qel::Array<DevicePointer> children = parent->getChildDevices();
    EXPECT_EQ(children[0].get(), static_cast<Device*>(raw));
    EXPECT_EQ(children[0].getCount(), 2u) << "the parent's handle and this array's copy";
}

TEST_F(SysInfoDeviceTest, TwoTreesAreSeparate) {
    DevicePointer first = buildTree();
    const DevicePointer second = buildTree();
    EXPECT_EQ(CountedNode::live, 22);
    first = DevicePointer();
    EXPECT_EQ(CountedNode::live, 11);
    EXPECT_EQ(second->getChildDevices().size(), 3u);
    EXPECT_EQ(second->getChildDevices()[2]->getProperties()[1]->getValue(), "8192");
}

TEST_F(SysInfoDeviceTest, ExceptionWhileBuildingLeavesNothingBehind) {
    auto build = [] {
        NodePointer root = countedNode(SYSTEM_ROOT, "SYSROOT");
        NodePointer disk = countedNode(DISK, "DISK:S1");
        addCountedProperty(disk, "TemperatureCelsius", 35);
        addTextProperty(disk, "Model", "ST3500418AS");
        root->addChildDevice(disk);
        NodePointer volume = countedNode(VOLUME, "VOLUME:C:");
        addCountedProperty(volume, "PercentCapacityUsed", 1);
        disk->addChildDevice(volume);
        const qel::Array<qel::String> volumes;
        addTextProperty(volume, "Letter", volumes[0]); // a collector reading past its list
        return DevicePointer(root);
    };
    EXPECT_THROW(build(), qel::IndexOutOfBounds);
    EXPECT_EQ(CountedNode::live, 0);
    EXPECT_EQ(CountedProperty::live, 0);
}

} // namespace
} // namespace systemmonitor
