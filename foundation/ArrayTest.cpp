#include "foundation/Array.h"

#include "foundation/testing/Tracked.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace qel {
namespace {

using test::Tracked;

class ArrayTest : public test::TrackedTest {
protected:
    static Array<Tracked> filled(int count) {
        Array<Tracked> array;
        for (int i = 0; i < count; ++i) {
            array.append(Tracked(i));
        }
        return array;
    }
    static std::vector<int> values(const Array<Tracked>& array) {
        std::vector<int> out;
        for (const Tracked& t : array) {
            out.push_back(t.value());
        }
        return out;
    }
};

TEST_F(ArrayTest, GrowthRule) {
    struct Case {
        const char* name;
        int appends;
        std::vector<std::uint32_t> reserves; // after the appends
        bool clear;
        std::uint32_t capacity;
        std::uint32_t size;
    };
    const Case cases[] = {
        {"default", 0, {}, false, 8, 0},
        {"9th append", 9, {}, false, 16, 9},
        {"reserve 17", 0, {17}, false, 32, 0},
        {"never shrinks", 0, {64, 9}, false, 64, 0},
        {"reserve below size", 9, {3}, false, 16, 9},
        {"clear keeps capacity", 20, {}, true, 32, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Array<Tracked> array;
        for (int i = 0; i < c.appends; ++i) {
            array.append(Tracked(i));
        }
        for (const std::uint32_t minimum : c.reserves) {
            array.reserve(minimum);
        }
        if (c.clear) {
            array.clear();
        }
        EXPECT_EQ(array.capacity(), c.capacity);
        EXPECT_EQ(array.size(), c.size);
        EXPECT_EQ(Tracked::live() - liveBefore_, c.size);
    }
}

TEST_F(ArrayTest, AppendingAnOwnElementWhileGrowing) {
    Array<Tracked> array = filled(8);
    ASSERT_EQ(array.size(), array.capacity());
    array.append(array[3]);
    EXPECT_EQ(array.size(), 9u);
    EXPECT_EQ(array[8].value(), 3);
}

struct Bytes40 {
    char bytes[40];
};

template <typename T> void expectTooLarge(std::uint32_t request, const char* message) {
    Array<T> array;
    array.append(T{});
    try {
        array.reserve(request);
        ADD_FAILURE() << "no exception for " << request;
    } catch (const NullPointer& e) {
        EXPECT_EQ(e.getMessage(), message);
    }
    EXPECT_EQ(array.size(), 1u);
    EXPECT_EQ(array.capacity(), 8u);
}

TEST_F(ArrayTest, BlockPastFourGigabytesThrowsNullPointerAndKeepsTheArray) {
    // Largest capacities: 536,870,910 for 8-byte elements, 107,374,182 for 40-byte ones,
    // 4,294,967,287 for bytes. The growth rule's power of two passes each of them first.
    expectTooLarge<std::uint64_t>(536870911, "Asked for array of size: 536870911");
    expectTooLarge<Bytes40>(107374183, "Asked for array of size: 107374183");
    // Doubling past 2^31 wraps to 0: the capacity becomes the request itself, still too large.
    expectTooLarge<unsigned char>(4294967288u, "Asked for array of size: 4294967288");
}

TEST_F(ArrayTest, CopiesNeverShareStorage) {
    Array<Tracked> source = filled(20);
    ASSERT_EQ(source.capacity(), 32u);

    Array<Tracked> copy(source);
    EXPECT_EQ(copy.capacity(), 32u);
    EXPECT_NE(&copy[0], &source[0]);
    EXPECT_EQ(values(copy), values(source));

    copy.remove(0, 10);
    copy.append(Tracked(99));
    EXPECT_EQ(source.size(), 20u);
    EXPECT_EQ(source[19].value(), 19);

    Array<Tracked> assigned = filled(3);
    assigned = source;
    EXPECT_EQ(values(assigned), values(source));
    EXPECT_NE(&assigned[0], &source[0]);
    assigned.clear();
    EXPECT_EQ(source.size(), 20u);
    EXPECT_EQ(Tracked::live() - liveBefore_, 20u + copy.size());
}

TEST_F(ArrayTest, Remove) {
    struct Case {
        std::uint32_t index;
        std::uint32_t count;
        std::vector<int> after; // empty with `throws`
        bool throws;
        int high;
        int reportedIndex;
    };
    const Case cases[] = {
        {4, 1, {0, 1, 2, 3}, false, 0, 0},    // the last element
        {1, 2, {0, 3, 4}, false, 0, 0},       // the middle, order kept
        {5, 0, {0, 1, 2, 3, 4}, false, 0, 0}, // nothing, at the end
        {5, 1, {}, true, 5, 6},               // past the end
        {6, 0, {}, true, 5, 6},               // starts past the end
        {0xFFFFFFFFu, 2, {}, true, 5, 1},     // would wrap in 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "remove(" << c.index << ", " << c.count << ")");
        Array<Tracked> array = filled(5);
        const Tracked* first = &array[0];
        if (c.throws) {
            test::expectOutOfBounds([&] { array.remove(c.index, c.count); }, c.high,
                                    c.reportedIndex);
            EXPECT_EQ(values(array), (std::vector<int>{0, 1, 2, 3, 4}));
            EXPECT_EQ(Tracked::live() - liveBefore_, 5u);
        } else {
            array.remove(c.index, c.count);
            EXPECT_EQ(values(array), c.after);
            EXPECT_EQ(Tracked::live() - liveBefore_, c.after.size());
        }
        EXPECT_EQ(array.capacity(), 8u);
        EXPECT_EQ(array.size() == 0 ? first : &array[0], first) << "remove moved the block";
    }
}

TEST_F(ArrayTest, IndexPastTheEndThrowsWithTheValidRange) {
    struct Case {
        std::uint32_t size;
        std::uint32_t index;
        int high;
        int reportedIndex;
    };
    const Case cases[] = {
        {5, 5, 4, 5},
        {0, 0, -1, 0},                // empty: no valid index
        {5, 0x80000000u, 4, INT_MIN}, // reported as the int the range is kept in
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "[" << c.index << "] of " << c.size);
        const Array<Tracked> array = filled(static_cast<int>(c.size));
        test::expectOutOfBounds([&] { (void)array[c.index]; }, c.high, c.reportedIndex);
    }
}

TEST_F(ArrayTest, FailedCopyWhileGrowingKeepsTheOldBlock) {
    Array<Tracked> array = filled(8);
    Tracked::failAfter = 3;
    EXPECT_THROW(array.reserve(9), std::runtime_error);
    Tracked::failAfter = -1;
    EXPECT_EQ(array.capacity(), 8u);
    EXPECT_EQ(values(array), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(Tracked::live() - liveBefore_, 8u);
}

TEST_F(ArrayTest, FailedMoveInsideRemoveDestroysEachElementOnce) {
    Array<Tracked> array = filled(6);
    Tracked::failAfter = 1;
    EXPECT_THROW(array.remove(1, 1), std::runtime_error);
    Tracked::failAfter = -1;
    // What was not moved down is gone; what is left is whole and in order.
    EXPECT_EQ(values(array), (std::vector<int>{0, 2}));
    EXPECT_EQ(Tracked::live() - liveBefore_, 2u);
}

TEST_F(ArrayTest, ClassNames) {
    EXPECT_EQ(Array<String>::className(), "A<String>");
    EXPECT_EQ(Array<unsigned int>::className(), "A<unsigned int>");
    EXPECT_EQ(Array<Tracked>::className(), "ArrayOfOthers");
    // Kept after the first call; the virtual one is the same text.
    EXPECT_EQ(&Array<Tracked>::className(), &Array<Tracked>::className());
    const Array<Tracked> array;
    const Serializable& base = array;
    EXPECT_EQ(&base.vClassName(), &Array<Tracked>::className());
}

} // namespace
} // namespace qel
