// The simulated machine's facts through the processor libraries: topology, identity, readers
// and meter, read from the facts the backend states at each call.

#include "suite/cpu/SimulatedProbes.h"

#include "suite/cpu/CpuTemperatureAccessors.h"
#include "suite/cpu/CpuTimeMetrics.h"
#include "suite/cpu/FakeFactsBackend.h"
#include "suite/cpu/SimulatedProcessorSource.h"
#include "suite/cpu/x86_physical_cpus.h"

#include <gtest/gtest.h>

namespace libCpuProbe::cpu {
namespace {

using libSysTopo::cpu::AffinityMask;
using libSysTopo::cpu::CpuTemperature;
using libSysTopo::cpu::x86_physical_cpus;
using platform::CoreFacts;
using platform::PackageFacts;
using platform::TemperatureFact;

TemperatureFact reading(int celsius) {
    return TemperatureFact{TemperatureFact::Kind::Reading, celsius};
}

// Two packages: the first with cores 0 and 4, the second with one core and no readers.
platform::ProcessorFacts twoPackages() {
    PackageFacts first;
    first.name = u"Acme Processor 3000";
    first.signature = {0x6F6, 6, 0xF, 6, 0, 0};
    first.revision = u"B3";
    first.speed = platform::SpeedFacts{};
    first.speed->currentSpeedHz = 2400000000;
    first.temperature = reading(45);
    first.usage = 37;
    first.cores = {CoreFacts{0, reading(44), 30},
                   CoreFacts{4, TemperatureFact{TemperatureFact::Kind::Fails, 0}, std::nullopt}};
    PackageFacts second;
    second.name = u"Second";
    second.usage = 5;
    second.cores = {CoreFacts{0, {}, 6}};
    platform::ProcessorFacts facts;
    facts.packages = {first, second};
    return facts;
}

std::optional<unsigned> temperatureOf(const libSysTopo::cpu::ICpuTemperatureAccessor* reader) {
    CpuTemperature temperature;
    if (reader == nullptr || !reader->readTemperature(temperature)) {
        return std::nullopt;
    }
    return temperature.getIntegerTemperature();
}

std::optional<unsigned> usageOf(libSysTopo::cpu::ICpuTimeMetrics& meter, const AffinityMask& mask) {
    unsigned percent = 0;
    return meter.getPercentUsage(mask, percent) ? std::optional<unsigned>(percent) : std::nullopt;
}

TEST(SimulatedProbesTest, LayoutGivesEveryNodeItsOwnMask) {
    const auto layout = libSysTopo::cpu::simulatedLayout(twoPackages());
    ASSERT_EQ(layout.size(), 2u);
    EXPECT_EQ(layout[0].mask, AffinityMask({0, 1, 2}));
    EXPECT_EQ(layout[0].cores[0].mask, AffinityMask({0}));
    EXPECT_EQ(layout[0].cores[1].mask, AffinityMask({1}));
    EXPECT_EQ(layout[0].cores[1].number, 4u);
    // A package of one core still differs from its core.
    EXPECT_EQ(layout[1].mask, AffinityMask({3, 4}));
    EXPECT_EQ(layout[1].cores[0].mask, AffinityMask({3}));

    platform::ProcessorFacts coreless;
    coreless.packages.resize(2);
    const auto bare = libSysTopo::cpu::simulatedLayout(coreless);
    EXPECT_EQ(bare[0].mask, AffinityMask({0}));
    EXPECT_EQ(bare[1].mask, AffinityMask({1}));
}

TEST(SimulatedProbesTest, TopologyAndIdentityFromTheFacts) {
    libSysTopo::cpu::test::FakeFactsBackend backend;
    backend.facts = twoPackages();
    const platform::ScopedBackend scope(backend);
    x86_physical_cpus topology(true);
    ASSERT_EQ(topology.getCpuCount(), 2u);
    EXPECT_EQ(topology[0].get().getCpuName(), "Acme Processor 3000");
    EXPECT_EQ(topology[0].get().getSignature().model, 0xF);
    EXPECT_EQ(topology[0].getCore(1).getCoreNumber(), 4u);
    EXPECT_EQ(topology[0].getCore(1).getLocation().toString(true), "CPU0:Core4");

    qel::String revision;
    EXPECT_TRUE(topology[0].get().getRevisionString(revision));
    EXPECT_EQ(revision, "B3");
    EXPECT_FALSE(topology[1].get().getRevisionString(revision));
    backend.facts.packages[1].revision = u"";
    EXPECT_TRUE(topology[1].get().getRevisionString(revision));
    EXPECT_EQ(revision, "");

    libSysTopo::cpu::x86_speed_metrics metrics;
    EXPECT_TRUE(topology[0].get().getSpeedMetrics(metrics));
    EXPECT_EQ(metrics.currentSpeedHz, 2400000000u);
    EXPECT_FALSE(topology[1].get().getSpeedMetrics(metrics));
    EXPECT_FALSE(topology[0].getCore(0).get().getSpeedMetrics(metrics));

    // Packages the facts no longer have read as unknown.
    backend.facts.packages.clear();
    EXPECT_FALSE(topology[0].get().getSpeedMetrics(metrics));
    EXPECT_FALSE(topology[0].get().getRevisionString(revision));
    EXPECT_EQ(topology.getCpuCount(), 2u);
}

TEST(SimulatedProbesTest, ReadersWhereTheFactsHaveThemReadingTheCurrentFacts) {
    libSysTopo::cpu::test::FakeFactsBackend backend;
    backend.facts = twoPackages();
    const platform::ScopedBackend scope(backend);
    x86_physical_cpus topology(true);
    CpuTemperatureAccessors::addAccessors(topology);

    EXPECT_EQ(temperatureOf(topology[0].getTemperatureAccessor()), 45u);
    EXPECT_EQ(temperatureOf(topology[0].getCore(0).get().getTemperatureAccessor()), 44u);
    // A failing sensor has a reader whose readings fail; a missing one has no reader.
    EXPECT_NE(topology[0].getCore(1).get().getTemperatureAccessor(), nullptr);
    EXPECT_EQ(temperatureOf(topology[0].getCore(1).get().getTemperatureAccessor()), std::nullopt);
    EXPECT_EQ(topology[1].getTemperatureAccessor(), nullptr);
    EXPECT_EQ(topology[1].getCore(0).get().getTemperatureAccessor(), nullptr);

    backend.facts.packages[0].temperature = reading(61);
    backend.facts.packages[0].cores[0].temperature = reading(-3);
    EXPECT_EQ(temperatureOf(topology[0].getTemperatureAccessor()), 61u);
    EXPECT_EQ(temperatureOf(topology[0].getCore(0).get().getTemperatureAccessor()), std::nullopt);
    backend.facts.packages[0].temperature = TemperatureFact{};
    EXPECT_EQ(temperatureOf(topology[0].getTemperatureAccessor()), std::nullopt);
    backend.facts.packages[0].cores.clear();
    EXPECT_EQ(temperatureOf(topology[0].getCore(0).get().getTemperatureAccessor()), std::nullopt);
}

TEST(SimulatedProbesTest, ReaderWithoutFactsFails) {
    const SimulatedTemperatureAccessor reader(0, std::nullopt);
    EXPECT_EQ(temperatureOf(&reader), std::nullopt);
    EXPECT_EQ(reader.getSourceName(), "simulated");
}

TEST(SimulatedProbesTest, MeterTellsNodesApartByMask) {
    libSysTopo::cpu::test::FakeFactsBackend backend;
    backend.facts = twoPackages();
    const platform::ScopedBackend scope(backend);
    x86_physical_cpus topology(true);
    auto accessor = CpuTimeMetrics::getAccessor();
    ASSERT_NE(accessor.get(), nullptr);
    libSysTopo::cpu::ICpuTimeMetrics& meter = *accessor.get();

    EXPECT_EQ(usageOf(meter, topology[0].getAffinityMask()), std::nullopt); // before a sample
    meter.refresh();
    EXPECT_EQ(usageOf(meter, topology[0].getAffinityMask()), 37u);
    EXPECT_EQ(usageOf(meter, topology[0].getCore(0).getAffinityMask()), 30u);
    EXPECT_EQ(usageOf(meter, topology[0].getCore(1).getAffinityMask()), std::nullopt);
    EXPECT_EQ(usageOf(meter, topology[1].getAffinityMask()), 5u);
    EXPECT_EQ(usageOf(meter, topology[1].getCore(0).getAffinityMask()), 6u);
    EXPECT_EQ(usageOf(meter, AffinityMask({0, 1})), std::nullopt);

    backend.facts.packages[1].cores[0].usage = 90;
    EXPECT_EQ(usageOf(meter, topology[1].getCore(0).getAffinityMask()), 90u);
    EXPECT_EQ(meter.getSampleCount(), 1u);
}

TEST(SimulatedProbesTest, NoMeterWhenTheFactsSaySo) {
    libSysTopo::cpu::test::FakeFactsBackend backend;
    backend.facts = twoPackages();
    backend.facts.usageMeter = false;
    const platform::ScopedBackend scope(backend);
    EXPECT_EQ(CpuTimeMetrics::getAccessor().get(), nullptr);
}

} // namespace
} // namespace libCpuProbe::cpu
