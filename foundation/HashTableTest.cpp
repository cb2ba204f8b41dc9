#include "foundation/HashTable.h"

#include "foundation/testing/Tracked.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

namespace qel {
namespace {

using test::Tracked;

// Every key lands in the same chain.
struct CollidingHash {
    static std::uint32_t hash(const unsigned int&) { return 7; }
};

using Colliding = HashTable<unsigned int, Tracked, EqualFunc<unsigned int>, CollidingHash>;

class HashTableTest : public test::TrackedTest {};

TEST_F(HashTableTest, CollidingKeysStayApart) {
    Colliding table;
    for (unsigned int key = 0; key < 50; ++key) {
        ASSERT_TRUE(table.insert(key, Tracked(int(key) * 10)));
    }
    EXPECT_EQ(table.count(), 50u);
    EXPECT_EQ(Tracked::live() - liveBefore_, 50u);
    for (unsigned int key = 0; key < 50; ++key) {
        const Tracked* found = table.lookup(key);
        ASSERT_NE(found, nullptr) << key;
        EXPECT_EQ(found->value(), int(key) * 10);
    }
    EXPECT_EQ(table.lookup(50), nullptr);
    EXPECT_FALSE(table.insert(7, Tracked(-1))) << "an existing key is kept";
    EXPECT_EQ(table.lookup(7)->value(), 70);
    EXPECT_EQ(table.count(), 50u);
    EXPECT_EQ(Tracked::live() - liveBefore_, 50u);

    for (const unsigned int key : {49u, 0u, 25u}) {
        EXPECT_TRUE(table.remove(key)) << key;
        EXPECT_FALSE(table.remove(key)) << key;
        EXPECT_EQ(table.lookup(key), nullptr) << key;
    }
    EXPECT_EQ(table.count(), 47u);
    EXPECT_EQ(Tracked::live() - liveBefore_, 47u);
}

TEST_F(HashTableTest, UnsignedKeysCollidingModuloTheChainCount) {
    // key + 13 wraps for the largest key: 4294967295 lands with 31 (and 63) in chain 12.
    HashTable<unsigned int, String> table;
    const unsigned int keys[] = {31, 63, 4294967295u, 3, 35, 0};
    for (const unsigned int key : keys) {
        ASSERT_TRUE(table.insert(key, String(std::to_string(key).c_str())));
    }
    EXPECT_EQ(HashFunc<unsigned int>::hash(4294967295u), 12u);
    for (const unsigned int key : keys) {
        const String* found = table.lookup(key);
        ASSERT_NE(found, nullptr) << key;
        EXPECT_EQ(*found, std::to_string(key).c_str());
    }
    EXPECT_EQ(table.lookup(95), nullptr);
}

TEST_F(HashTableTest, GetValue) {
    HashTable<unsigned int, Array<unsigned int>> table;
    Array<unsigned int> three;
    three.append(1);
    three.append(2);
    three.append(3);
    table.insert(5, three);
    table.insert(6, Array<unsigned int>());

    struct Case {
        unsigned int key;
        unsigned int result;
        std::uint32_t size;
    };
    const Case cases[] = {{5, 3, 3}, {6, 0, 0}, {7, 0, 0}, {4294967295u, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        Array<unsigned int> out;
        out.append(42);
        out.append(43);
        EXPECT_EQ(table.getValue(c.key, out), c.result);
        EXPECT_EQ(out.size(), c.size);
    }
    Array<unsigned int> out;
    table.getValue(5, out);
    out[0] = 100;
    EXPECT_EQ((*table.lookup(5))[0], 1u) << "getValue handed out the stored array";
}

TEST_F(HashTableTest, SharedDefaultIsNeverChangedThroughAnOutValue) {
    HashTable<unsigned int, Array<unsigned int>> first;
    HashTable<unsigned int, Array<unsigned int>> second;
    Array<unsigned int> out;
    EXPECT_EQ(first.getValue(1, out), 0u);
    out.append(9);
    Array<unsigned int> again;
    again.append(8);
    EXPECT_EQ(second.getValue(1, again), 0u);
    EXPECT_EQ(again.size(), 0u);
}

TEST_F(HashTableTest, CopiesAreDeepAndEveryBucketIsDeletedOnce) {
    Colliding original;
    for (unsigned int key = 0; key < 10; ++key) {
        original.insert(key, Tracked(int(key)));
    }
    {
        Colliding copy(original);
        EXPECT_EQ(Tracked::live() - liveBefore_, 20u);
        copy.remove(3);
        *copy.lookup(4) = Tracked(400);
        EXPECT_EQ(original.count(), 10u);
        EXPECT_EQ(original.lookup(3)->value(), 3);
        EXPECT_EQ(original.lookup(4)->value(), 4);
    }
    EXPECT_EQ(Tracked::live() - liveBefore_, 10u);
    original.clear();
    EXPECT_EQ(original.count(), 0u);
    EXPECT_EQ(Tracked::live(), liveBefore_);
}

TEST_F(HashTableTest, ClassNames) {
    const HashTable<unsigned int, Array<unsigned int>> drives;
    const HashTable<String, String> devices;
    const HashTable<unsigned int, String> texts;
    EXPECT_EQ(drives.vClassName(), "H(unsigned int,rayOfOther)");
    EXPECT_EQ(devices.vClassName(), "H(String,String)");
    EXPECT_EQ(texts.vClassName(), "H(unsigned int,String)");
    // Computed once and kept.
    const HashTable<String, String> another;
    EXPECT_EQ(&devices.vClassName(), &another.vClassName());
}

} // namespace
} // namespace qel
