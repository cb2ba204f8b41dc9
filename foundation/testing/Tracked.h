#pragma once
// For tests of containers: an element that registers every live instance by address, a fixture
// that fails a test which leaked one, destroyed one twice or copied from a dead one, and a check
// of the range an index error reports.

#include "foundation/Exception.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <set>
#include <stdexcept>

namespace qel::test {

// An element that registers every live instance by address, so that a slot destroyed twice, an
// instance never destroyed, or a copy from a dead slot shows up. Copies can be made to fail.
class Tracked {
public:
    explicit Tracked(int value = 0) : value_(value) { enter(); }
    Tracked(const Tracked& other) : value_(other.value_) {
        errors += registry.contains(&other) ? 0 : 1;
        if (failAfter == 0) {
            throw std::runtime_error("copy refused");
        }
        failAfter -= failAfter > 0 ? 1 : 0;
        enter();
    }
    Tracked& operator=(const Tracked& other) {
        value_ = other.value_;
        return *this;
    }
    ~Tracked() { errors += registry.erase(this) == 1 ? 0 : 1; }
    int value() const { return value_; }

    static inline std::set<const Tracked*> registry;
    static inline int errors = 0;
    static inline int failAfter = -1; // copies still allowed before one throws; negative: never
    static std::size_t live() { return registry.size(); }

private:
    void enter() { errors += registry.insert(this).second ? 0 : 1; }
    int value_;
};

class TrackedTest : public ::testing::Test {
protected:
    void SetUp() override {
        Tracked::errors = 0;
        Tracked::failAfter = -1;
        liveBefore_ = Tracked::live();
    }
    void TearDown() override {
        Tracked::failAfter = -1;
        EXPECT_EQ(Tracked::errors, 0) << "an instance was destroyed twice or used after death";
        EXPECT_EQ(Tracked::live(), liveBefore_) << "instances leaked";
    }

    std::size_t liveBefore_ = 0;
};

// `body` must throw IndexOutOfBounds reporting the valid range [0, high] and `index`.
template <typename Body> void expectOutOfBounds(Body body, int high, int index) {
    try {
        body();
        ADD_FAILURE() << "no exception";
    } catch (const IndexOutOfBounds& e) {
        EXPECT_EQ(e.getLow(), 0);
        EXPECT_EQ(e.getHigh(), high);
        EXPECT_EQ(e.getIndex(), index);
    }
}

} // namespace qel::test
