#include "foundation/SharedPointer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace qel {
namespace {

std::atomic<int> destroyedBases{0};
std::atomic<int> destroyedDerived{0};

// No virtual destructor on purpose: deleting through Base* would skip ~Derived, so the count
// shows whether the object went through the deleter made for the derived class.
struct Base {
    ~Base() { ++destroyedBases; }
    int tag = 1;
};

struct Derived : Base {
    ~Derived() { ++destroyedDerived; }
    std::vector<int> payload = std::vector<int>(16, 7);
};

struct Node {
    virtual ~Node() { ++destroyedBases; }
};

struct Leaf : Node {
    ~Leaf() override { ++destroyedDerived; }
};

TEST(SharedPointerTest, BaseHandleDeletesOnceThroughTheDerivedDeleter) {
    // Adopted, and made in one block with its count.
    for (const bool inPlace : {false, true}) {
        destroyedBases = 0;
        destroyedDerived = 0;
        auto* derived = new SharedPointer<Derived>(inPlace ? SharedPointer<Derived>::make()
                                                           : SharedPointer<Derived>(new Derived));
        auto* base = new SharedPointer<Base>(*derived);
        EXPECT_EQ(base->getCount(), 2u);
        EXPECT_EQ(base->get(), static_cast<Base*>(derived->get()));
        EXPECT_EQ(base->get()->tag, 1);
        delete derived;
        EXPECT_EQ(base->getCount(), 1u);
        EXPECT_EQ(destroyedDerived, 0);
        {
            SharedPointer<Base> copy(*base);
            const SharedPointer<Base> third(copy);
            EXPECT_EQ(third.getCount(), 3u);
        }
        delete base;
        EXPECT_EQ(destroyedDerived, 1) << inPlace;
        EXPECT_EQ(destroyedBases, 1) << inPlace;
    }
}

TEST(SharedPointerTest, HandlesReleasedOnManyThreadsDeleteOnce) {
    constexpr int kThreads = 8;
    constexpr int kCopiesPerThread = 2000;
    for (int round = 0; round < 20; ++round) {
        destroyedDerived = 0;
        std::vector<std::unique_ptr<SharedPointer<Leaf>>> handles;
        {
            SharedPointer<Leaf> origin(new Leaf);
            for (int i = 0; i < kThreads; ++i) {
                handles.push_back(std::make_unique<SharedPointer<Leaf>>(origin));
            }
            EXPECT_EQ(origin.getCount(), unsigned(kThreads + 1));
        }
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&, i] {
                while (!go) {
                    std::this_thread::yield();
                }
                for (int k = 0; k < kCopiesPerThread; ++k) {
                    SharedPointer<Leaf> copy(*handles[i]);
                    SharedPointer<Node> base(copy);
                }
                handles[i].reset();
            });
        }
        go = true;
        for (std::thread& t : threads) {
            t.join();
        }
        EXPECT_EQ(destroyedDerived, 1) << "round " << round;
    }
}

} // namespace
} // namespace qel
