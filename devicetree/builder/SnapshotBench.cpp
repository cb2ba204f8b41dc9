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

// Loading a large machine with many small steps, the last one invalid: linear in the file.
void BM_LoadManySteps(benchmark::State& state) {
    std::string text = R"({"devices": [)";
    for (int i = 0; i < 6000; ++i) {
        text += R"({"friendlyName": "a device of some length, to weigh", "instanceId": "x"},)";
    }
    text += R"({}], "steps": [)";
    for (int i = 0; i < state.range(0); ++i) {
        text += R"({"at": )" + std::to_string(i) + R"(, "patch": {"drives": {"C": {"type": 3}}}},)";
    }
    text += R"({"patch": {"drives": {"C": {"type": -1}}}}]})";
    for (auto _ : state) {
        try {
            platform::simulated::Machine::fromJsonText(text);
        } catch (const platform::simulated::MachineError&) {
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LoadManySteps)->Arg(1500)->Unit(benchmark::kMillisecond);

void BM_SnapshotLive(benchmark::State& state) {
    for (auto _ : state) {
        auto root = systemmonitor::getAllDevices();
        benchmark::DoNotOptimize(root.get());
    }
}
BENCHMARK(BM_SnapshotLive);

} // namespace
