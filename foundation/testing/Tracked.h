#pragma once
// For tests of containers: an element that registers every live instance by address, and a
// fixture that fails a test which leaked one, destroyed one twice or copied from a dead one.

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
        if (!registry().contains(&other)) {
            ++errors();
        }
        if (failAfter() == 0) {
            throw std::runtime_error("copy refused");
        }
        if (failAfter() > 0) {
            --failAfter();
        }
        enter();
    }
    Tracked& operator=(const Tracked& other) {
        value_ = other.value_;
        return *this;
    }
    ~Tracked() {
        if (registry().erase(this) != 1) {
            ++errors();
        }
    }
    int value() const { return value_; }

    static std::set<const Tracked*>& registry() {
        static std::set<const Tracked*> live;
        return live;
    }
    static int& errors() {
        static int count = 0;
        return count;
    }
    // Copies still allowed before one throws; negative: never.
    static int& failAfter() {
        static int count = -1;
        return count;
    }
    static std::size_t live() { return registry().size(); }

private:
    void enter() {
        if (!registry().insert(this).second) {
            ++errors();
        }
    }
    int value_;
};

class TrackedTest : public ::testing::Test {
protected:
    void SetUp() override {
        Tracked::errors() = 0;
        Tracked::failAfter() = -1;
        liveBefore_ = Tracked::live();
    }
    void TearDown() override {
        Tracked::failAfter() = -1;
        EXPECT_EQ(Tracked::errors(), 0) << "an instance was destroyed twice or used after death";
        EXPECT_EQ(Tracked::live(), liveBefore_) << "instances leaked";
    }

    std::size_t liveBefore_ = 0;
};

} // namespace qel::test
