#include "suite/cpu/x86_physical_cpus.h"

#include "foundation/Exception.h"
#include "suite/cpu/FakeProcessorSource.h"

#include <gtest/gtest.h>

namespace libSysTopo::cpu {
namespace {

using test::fakeLayout;
using test::FakePackage;
using test::FakeProcessorSource;

// A reader that always reads the same, to tell installed readers apart.
class FixedReader : public ICpuTemperatureAccessor {
public:
    explicit FixedReader(double celsius) : celsius_(celsius) {}
    qel::String getSourceName() const override { return "fixed"; }
    bool readTemperature(CpuTemperature& temperature) const override {
        temperature.setCelsius(celsius_);
        return true;
    }

private:
    double celsius_;
};

std::unique_ptr<FakeProcessorSource> twoPackages() {
    auto source = std::make_unique<FakeProcessorSource>();
    FakePackage first{fakeLayout(0, {0, 1, 2, 3}), {"First", {0x906EA, 6, 0xE, 0, 9, 0xA}}, {}, {}};
    FakePackage second{fakeLayout(1, {8, 8, 9}, 4),
                       {"Second", {0x6F6, 6, 0xF, 0, 0, 6}},
                       qel::String("B3"),
                       x86_speed_metrics{}};
    source->packages = {first, second};
    return source;
}

TEST(x86_physical_cpusTest, ListsPackagesAndCoresFromTheSource) {
    x86_physical_cpus topology(twoPackages(), true);
    ASSERT_EQ(topology.getCpuCount(), 2u);
    const x86_physical_cpu& second = topology[1];
    EXPECT_EQ(second.get().getCpuName(), "Second");
    EXPECT_EQ(second.get().getSignature().signature, 0x6F6u);
    EXPECT_EQ(second.getLocation().toString(true), "CPU1");
    EXPECT_EQ(second.getPackageId(), 1u);
    EXPECT_EQ(second.getAffinityMask(), AffinityMask({4, 5, 6}));
    ASSERT_EQ(second.getCoreCount(), 3u);
    // Dies that reuse core numbers still give every core its own key.
    EXPECT_EQ(second.getCore(0).getLocation().toString(true), "CPU1:Core8");
    EXPECT_EQ(second.getCore(1).getLocation().toString(true), "CPU1:Core8#1");
    EXPECT_EQ(second.getCore(2).getLocation().toString(true), "CPU1:Core9");
    EXPECT_EQ(second.getCore(2).getCoreNumber(), 9u);
    EXPECT_EQ(second.getCore(2).getAffinityMask(), AffinityMask({6}));
    // A core's processor is the package's processor.
    EXPECT_EQ(second.getCore(2).get().getCpuName(), "Second");
    EXPECT_EQ(second.getCore(2).get().getSignature().stepping, 6u);
}

TEST(x86_physical_cpusTest, WithoutIdentifyNamesStayEmpty) {
    auto source = twoPackages();
    FakeProcessorSource* fake = source.get();
    x86_physical_cpus topology(std::move(source), false);
    EXPECT_EQ(fake->identifyCalls, 0u);
    EXPECT_EQ(topology[0].get().getCpuName(), "");
    EXPECT_EQ(topology[0].get().getSignature().signature, 0u);
    EXPECT_EQ(topology[0].getCoreCount(), 4u);
}

TEST(x86_physical_cpusTest, IndexesOutOfRangeThrow) {
    x86_physical_cpus topology(twoPackages(), true);
    try {
        topology[2];
        FAIL() << "no exception";
    } catch (const qel::IndexOutOfBounds& error) {
        EXPECT_EQ(error.getLow(), 0);
        EXPECT_EQ(error.getHigh(), 1);
        EXPECT_EQ(error.getIndex(), 2);
    }
    const x86_physical_cpus& constant = topology;
    EXPECT_THROW(constant[7], qel::IndexOutOfBounds);
    EXPECT_THROW(topology[0].getCore(4), qel::IndexOutOfBounds);
    EXPECT_THROW(constant[1].getCore(3), qel::IndexOutOfBounds);

    x86_physical_cpus empty(std::make_unique<FakeProcessorSource>(), true);
    EXPECT_EQ(empty.getCpuCount(), 0u);
    EXPECT_THROW(empty[0], qel::IndexOutOfBounds);
}

TEST(x86_physical_cpusTest, RevisionAndSpeedAreAskedOfTheSourceOnEveryCall) {
    auto source = twoPackages();
    FakeProcessorSource* fake = source.get();
    x86_physical_cpus topology(std::move(source), true);

    qel::String revision = "unchanged";
    EXPECT_FALSE(topology[0].get().getRevisionString(revision));
    EXPECT_EQ(revision, "unchanged");
    EXPECT_TRUE(topology[1].get().getRevisionString(revision));
    EXPECT_EQ(revision, "B3");
    EXPECT_FALSE(topology[1].getCore(0).get().getRevisionString(revision));

    x86_speed_metrics metrics;
    metrics.currentSpeedHz = 77;
    EXPECT_FALSE(topology[0].get().getSpeedMetrics(metrics));
    EXPECT_EQ(metrics.currentSpeedHz, 77u);
    fake->packages[0].speed = x86_speed_metrics{};
    fake->packages[0].speed->currentSpeedHz = 1000;
    EXPECT_TRUE(topology[0].get().getSpeedMetrics(metrics));
    EXPECT_EQ(metrics.currentSpeedHz, 1000u);
}

TEST(x86_physical_cpusTest, TemperatureReadersAreOwnedPerNode) {
    x86_physical_cpus topology(twoPackages(), true);
    EXPECT_EQ(topology[0].getTemperatureAccessor(), nullptr);
    topology[0].get().setTemperatureAccessor(std::make_unique<FixedReader>(50.0));
    topology[0].getCore(1).get().setTemperatureAccessor(std::make_unique<FixedReader>(40.0));
    ASSERT_NE(topology[0].getTemperatureAccessor(), nullptr);
    CpuTemperature temperature;
    EXPECT_TRUE(topology[0].getTemperatureAccessor()->readTemperature(temperature));
    EXPECT_EQ(temperature.getIntegerTemperature(), 50u);
    EXPECT_EQ(topology[0].getCore(0).get().getTemperatureAccessor(), nullptr);
    EXPECT_NE(topology[0].getCore(1).get().getTemperatureAccessor(), nullptr);
    topology[0].get().setTemperatureAccessor(nullptr);
    EXPECT_EQ(topology[0].getTemperatureAccessor(), nullptr);
}

// Records its own end.
class LoggingReader : public FixedReader {
public:
    explicit LoggingReader(std::vector<std::string>& log) : FixedReader(0.0), log_(log) {}
    ~LoggingReader() override { log_.push_back("reader"); }

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
