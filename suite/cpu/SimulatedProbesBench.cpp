// What the simulated usage meter costs for a whole package: one query per core and one for the
// package, as a snapshot makes them. Linear in the cores (a lookup per query, not a scan).

#include "suite/cpu/SimulatedProbes.h"
#include "suite/cpu/SimulatedProcessorSource.h"
#include "suite/cpu/testing/FakeFactsBackend.h"

#include <benchmark/benchmark.h>

namespace {

void BM_UsageOfEveryNode(benchmark::State& state) {
    libSysTopo::cpu::test::FakeFactsBackend backend;
    platform::PackageFacts package;
    package.usage = 5;
    for (unsigned core = 0; core < static_cast<unsigned>(state.range(0)); ++core) {
        package.cores.push_back({core, {}, 7});
    }
    backend.facts.packages.push_back(package);
    const platform::ScopedBackend scope(backend);
    const auto layout = libSysTopo::cpu::simulatedLayout(backend.facts);
    libCpuProbe::cpu::SimulatedCpuTimeMetrics meter(layout);
    meter.refresh();
    for (auto _ : state) {
        unsigned percent = 0;
        meter.getPercentUsage(layout[0].mask, percent);
        for (const auto& core : layout[0].cores) {
            meter.getPercentUsage(core.mask, percent);
        }
        benchmark::DoNotOptimize(percent);
    }
}
BENCHMARK(BM_UsageOfEveryNode)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond);

} // namespace
