#include "foundation/Stopwatch.h"

#include "platform/testing/FailingBackend.h"

#include <gtest/gtest.h>

namespace qel {
namespace {

// The clock is the platform's: a test that sets it controls what the stopwatch reads. Values are
// binary fractions so that the differences are exact.
TEST(StopwatchTest, ReadsThePlatformClock) {
    platform::testing::FailingBackend backend;
    platform::ScopedBackend scope(backend);
    backend.clock = 100.0;
    Stopwatch watch;
    EXPECT_EQ(watch.getElapsed(), 0.0);
    backend.clock = 103.5;
    EXPECT_EQ(watch.getElapsed(), 3.5);
    backend.clock = 105.25;
    EXPECT_EQ(watch.getElapsed(), 5.25);
    watch.reset();
    EXPECT_EQ(watch.getElapsed(), 0.0);
    backend.clock = 110.25;
    EXPECT_EQ(watch.getElapsed(), 5.0);
}

} // namespace
} // namespace qel
