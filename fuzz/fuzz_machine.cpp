// A simulated machine file as a hostile user writes it: loaded, then one snapshot per step, as
// `hwsnap --machine` does. The machine stays installed for the process (the library keeps
// process-wide disk objects that close their handles on it at exit); each input replaces it.
#include "devicetree/GetAllDevices.h"
#include "platform/Backend.h"
#include "platform/simulated/SimulatedMachine.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using platform::simulated::SimulatedMachine;
    static std::optional<SimulatedMachine> machine(SimulatedMachine::fromJson("{}"));
    static platform::ScopedBackend scope(*machine);
    try {
        *machine =
            SimulatedMachine::fromJson(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const platform::simulated::MachineError&) {
        return 0;
    }
    for (std::size_t step = 0; step < machine->stepCount(); ++step) {
        machine->applyStep(step);
        const auto root = systemmonitor::getAllDevices();
    }
    return 0;
}
