#include "foundation/SharedResource.h"

#include "foundation/Buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace qel {
namespace {

struct Disk {
    explicit Disk(int number) : number(number) { ++live; }
    ~Disk() {
        --live;
        ++destroyed;
    }
    int number;
    static inline int live = 0;
    static inline int destroyed = 0;
};

using DiskOwner = SharedResource<PointerStorage<Disk, 0, 3>, 0>;

// A descriptor whose "close" is recorded, to see which values are destroyed and how often.
struct RecordingManager {
    static inline std::vector<int> closed;
    static void destroy(int value) { closed.push_back(value); }
};
using Descriptor = DescriptorStorage<int, -1, RecordingManager>;

class SharedResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        Disk::live = 0;
        Disk::destroyed = 0;
        RecordingManager::closed.clear();
    }
    void TearDown() override { EXPECT_EQ(Disk::live, 0) << "disks leaked"; }
};

TEST_F(SharedResourceTest, HeapObjectLivesAsLongAsItsLastCopy) {
    auto* first = new DiskOwner(new Disk(3));
    EXPECT_EQ(first->getCount(), 1u);
    DiskOwner second(*first);
    DiskOwner third;
    third = second;
    EXPECT_EQ(third.getCount(), 3u);
    delete first;
    second.release();
    EXPECT_EQ(second.get(), nullptr);
    EXPECT_FALSE(second.isValid());
    EXPECT_EQ(Disk::destroyed, 0);
    EXPECT_EQ(third.getCount(), 1u);
    third.release();
    EXPECT_EQ(Disk::destroyed, 1);
    third.release();
    EXPECT_EQ(Disk::destroyed, 1);
}

TEST_F(SharedResourceTest, DescriptorDestruction) {
    struct Case {
        const char* name;
        int value;
        int copies;
        std::vector<int> closed;
    };
    const Case cases[] = {
        {"invalid, copied", -1, 3, {}},
        {"valid, two owners", 7, 1, {7}},
        {"zero is a valid descriptor", 0, 2, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingManager::closed.clear();
        {
            SharedResource<Descriptor, 0> owner(c.value);
            std::vector<SharedResource<Descriptor, 0>> copies(c.copies, owner);
            EXPECT_EQ(owner.getCount(), unsigned(c.copies + 1));
            EXPECT_EQ(owner.isValid(), c.value != -1);
            copies.clear();
            EXPECT_TRUE(RecordingManager::closed.empty());
        }
        EXPECT_EQ(RecordingManager::closed, c.closed);
    }
}

TEST_F(SharedResourceTest, Buffers) {
    struct Case {
        std::uint64_t length;
        bool zeroFill;
    };
    for (const Case c :
         {Case{0, true}, Case{0, false}, Case{1, true}, Case{512, true}, Case{4096, false}}) {
        SCOPED_TRACE(c.length);
        Buffer<unsigned char> buffer(c.length, c.zeroFill);
        EXPECT_EQ(buffer.length, c.length);
        EXPECT_EQ(buffer.data, buffer.block);
        EXPECT_EQ(buffer.data == nullptr, c.length == 0);
        if (c.zeroFill) {
            for (std::uint64_t i = 0; i < c.length; ++i) {
                ASSERT_EQ(buffer.data[i], 0) << i;
            }
        }
        if (c.length != 0) {
            buffer.data[c.length - 1] = 0xAB; // the whole block is writable
        }
    }
    // Shared between owners, freed with the last one (ASan reports a leak or a double free).
    using BufferOwner = SharedResource<PointerStorage<Buffer<unsigned char>, 0, 3>, 0>;
    BufferOwner owner(new Buffer<unsigned char>(64, true));
    BufferOwner copy(owner);
    owner.release();
    EXPECT_EQ(copy.get()->data[63], 0);
}

} // namespace
} // namespace qel
