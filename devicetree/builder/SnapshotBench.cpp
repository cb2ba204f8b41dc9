// What a snapshot costs, on a simulated machine (so the numbers do not depend on this host's
// disks) and on the live machine.

#include "devicetree/GetAllDevices.h"
#include "platform/Backend.h"
#include "platform/simulated/SimulatedMachine.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void snapshotOf(benchmark::State& state, const std::string& machineFile) {
    auto machine = platform::simulated::SimulatedMachine::fromFile(machineFile);
    platform::ScopedBackend scope(machine);
    for (auto _ : state) {
        auto root = systemmonitor::getAllDevices();
        benchmark::DoNotOptimize(root.get());
    }
}

void BM_SnapshotSimulatedMemory(benchmark::State& state) {
    snapshotOf(state, std::string(SM_MACHINES_DIR) + "/memory-8gib.json");
}
BENCHMARK(BM_SnapshotSimulatedMemory);

void BM_SnapshotLive(benchmark::State& state) {
    for (auto _ : state) {
        auto root = systemmonitor::getAllDevices();
        benchmark::DoNotOptimize(root.get());
    }
}
BENCHMARK(BM_SnapshotLive);

} // namespace
