#include "suite/cpu/x86_physical_cpus.h"

#include "foundation/testing/Tracked.h"
#include "suite/cpu/testing/FakeProcessorSource.h"

#include <gtest/gtest.h>

namespace libSysTopo::cpu {
namespace {

using test::fakeLayout;
using test::FakeProcessorSource;

// Package 0 of four cores, package 1 of two dies that reuse core number 8.
std::unique_ptr<FakeProcessorSource> twoPackages() {
    auto source = std::make_unique<FakeProcessorSource>();
    source->packages = {{fakeLayout(0, {0, 1, 2, 3}), {"First", {}}, {}, {}},
                        {fakeLayout(1, {8, 8, 9}, 4), {"Second", {}}, {}, {}}};
    return source;
}

TEST(x86_physical_cpusTest, ReusedCoreNumbersStillGiveDistinctKeys) {
    x86_physical_cpus topology(twoPackages(), true);
    const x86_physical_cpu& second = topology[1];
    EXPECT_EQ(second.getCore(0).getLocation().toString(true), "CPU1:Core8");
    EXPECT_EQ(second.getCore(1).getLocation().toString(true), "CPU1:Core8#1");
    EXPECT_EQ(second.getCore(2).getLocation().toString(true), "CPU1:Core9");
    EXPECT_EQ(second.getCore(2).getAffinityMask(), AffinityMask({6}));
    EXPECT_EQ(second.getCore(2).get().getCpuName(), "Second");
}

TEST(x86_physical_cpusTest, IndexesOutOfRangeThrow) {
    x86_physical_cpus topology(twoPackages(), true);
    qel::test::expectOutOfBounds([&] { topology[2]; }, 1, 2);
    EXPECT_THROW(topology[0].getCore(4), qel::IndexOutOfBounds);
    x86_physical_cpus empty(std::make_unique<FakeProcessorSource>(), true);
    EXPECT_THROW(empty[0], qel::IndexOutOfBounds);
}

// Records its own end.
class LoggingReader : public ICpuTemperatureAccessor {
public:
    explicit LoggingReader(std::vector<std::string>& log) : log_(log) {}
    ~LoggingReader() override { log_.push_back("reader"); }
    qel::String getSourceName() const override { return "logging"; }
    bool readTemperature(CpuTemperature&) const override { return false; }

private:
    std::vector<std::string>& log_;
};

TEST(x86_physical_cpusTest, ReadersGoBeforeTheSource) {
    std::vector<std::string> log;
    {
        auto source = twoPackages();
        source->onDestroy = [&log] { log.push_back("source"); };
        x86_physical_cpus topology(std::move(source), true);
        topology[1].getCore(2).get().setTemperatureAccessor(std::make_unique<LoggingReader>(log));
    }
    EXPECT_EQ(log, (std::vector<std::string>{"reader", "source"}));
}

} // namespace
} // namespace libSysTopo::cpu
