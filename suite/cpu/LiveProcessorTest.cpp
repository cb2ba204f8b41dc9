// The live machine through the processor libraries: the shape of the answer, never its values.

#include "suite/cpu/CpuTemperatureAccessors.h"
#include "suite/cpu/CpuTimeMetrics.h"
#include "suite/cpu/Cpuid.h"
#include "suite/cpu/x86_physical_cpus.h"

#include <set>

#include <gtest/gtest.h>

namespace libSysTopo::cpu {
namespace {

TEST(LiveProcessorTest, EveryProcessorBelongsToOneCoreOfOnePackage) {
    x86_physical_cpus topology(true);
    if (topology.getCpuCount() == 0) {
        GTEST_SKIP() << "the machine lists no processor";
    }
    std::set<unsigned> seen;
    for (unsigned p = 0; p < topology.getCpuCount(); ++p) {
        const x86_physical_cpu& package = topology[p];
        EXPECT_FALSE(package.getAffinityMask().isEmpty());
        EXPECT_GE(package.getCoreCount(), 1u);
        for (unsigned c = 0; c < package.getCoreCount(); ++c) {
            const AffinityMask mask = package.getCore(c).getAffinityMask();
            for (const unsigned processor : mask.getProcessors()) {
                EXPECT_TRUE(package.getAffinityMask().contains(processor));
                EXPECT_TRUE(seen.insert(processor).second) << "processor " << processor;
            }
        }
        x86_speed_metrics metrics;
        if (package.get().getSpeedMetrics(metrics)) {
            EXPECT_LT(metrics.currentSpeedHz, 100000000000u);
            EXPECT_GE(metrics.currentRatio, 0.0);
        }
    }
}

TEST(LiveProcessorTest, X86PackagesHaveASignature) {
    if (!queryCpuid(0)) {
        GTEST_SKIP() << "no CPUID instruction";
    }
    x86_physical_cpus topology(true);
    for (unsigned p = 0; p < topology.getCpuCount(); ++p) {
        EXPECT_NE(topology[p].get().getSignature().signature, 0u);
    }
}

TEST(LiveProcessorTest, TemperatureReadersReadPlausibleValues) {
    x86_physical_cpus topology(true);
    libCpuProbe::cpu::CpuTemperatureAccessors::addAccessors(topology);
    for (unsigned p = 0; p < topology.getCpuCount(); ++p) {
        CpuTemperature temperature;
        const ICpuTemperatureAccessor* reader = topology[p].getTemperatureAccessor();
        if (reader != nullptr && reader->readTemperature(temperature)) {
            EXPECT_LT(temperature.getIntegerTemperature(), 150u);
        }
    }
}

} // namespace
} // namespace libSysTopo::cpu
