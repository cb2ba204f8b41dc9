// The simulated machine's facts through the processor libraries. Whole trees are checked by the
// fixture machines; these cases cover masks and facts that change under a built topology.

#include "suite/cpu/SimulatedProbes.h"

#include "suite/cpu/SimulatedProcessorSource.h"
#include "suite/cpu/testing/FakeFactsBackend.h"
#include "suite/cpu/x86_physical_cpus.h"

#include <gtest/gtest.h>

namespace libCpuProbe::cpu {
namespace {

using libSysTopo::cpu::AffinityMask;

platform::ProcessorFacts twoPackages() {
    platform::PackageFacts first;
    first.revision = u"B3";
    first.speed = platform::SpeedFacts{};
    first.cores = {platform::CoreFacts{0, {}, 30}, platform::CoreFacts{4, {}, std::nullopt}};
    platform::PackageFacts second;
    second.cores = {platform::CoreFacts{0, {}, 6}};
    platform::ProcessorFacts facts;
    facts.packages = {first, second};
    return facts;
}

TEST(SimulatedProbesTest, LayoutGivesEveryNodeItsOwnMask) {
    const auto layout = libSysTopo::cpu::simulatedLayout(twoPackages());
    ASSERT_EQ(layout.size(), 2u);
    EXPECT_EQ(layout[0].mask, AffinityMask({0, 1, 2}));
    EXPECT_EQ(layout[0].cores[1].mask, AffinityMask({1}));
    // A package of one core still differs from its core.
    EXPECT_EQ(layout[1].mask, AffinityMask({3, 4}));
    EXPECT_EQ(layout[1].cores[0].mask, AffinityMask({3}));

    platform::ProcessorFacts coreless;
    coreless.packages.resize(2);
    EXPECT_EQ(libSysTopo::cpu::simulatedLayout(coreless)[1].mask, AffinityMask({1}));
}

TEST(SimulatedProbesTest, PackagesTheFactsNoLongerHaveReadAsUnknown) {
    libSysTopo::cpu::test::FakeFactsBackend backend;
    backend.facts = twoPackages();
    const platform::ScopedBackend scope(backend);
    libSysTopo::cpu::x86_physical_cpus topology(true);
    qel::String revision;
    libSysTopo::cpu::x86_speed_metrics metrics;
    EXPECT_TRUE(topology[0].get().getRevisionString(revision));
    EXPECT_FALSE(topology[0].getCore(0).get().getSpeedMetrics(metrics));
    backend.facts.packages.clear();
    EXPECT_FALSE(topology[0].get().getSpeedMetrics(metrics));
    EXPECT_FALSE(topology[0].get().getRevisionString(revision));
    EXPECT_EQ(topology.getCpuCount(), 2u);
}

} // namespace
} // namespace libCpuProbe::cpu
