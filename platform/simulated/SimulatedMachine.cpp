#include "platform/simulated/SimulatedMachine.h"

#include <cstring>
#include <stdexcept>
#include <utility>

namespace platform::simulated {

struct SimulatedMachine::Parts {
    explicit Parts(Machine m) : machine(std::move(m)) {}

    const MachineState& state() const {
        return step ? machine.stateAt(*step) : machine.initialState();
    }

    Machine machine;
    std::optional<std::size_t> step; // none: the machine as written
    double clock = 0.0;
    std::shared_ptr<const StorageFacts> facts; // of the step, built when first asked
};

SimulatedMachine::SimulatedMachine(Machine machine)
    : parts_(std::make_unique<Parts>(std::move(machine))) {}

SimulatedMachine::SimulatedMachine(SimulatedMachine&&) noexcept = default;
SimulatedMachine& SimulatedMachine::operator=(SimulatedMachine&&) noexcept = default;
SimulatedMachine::~SimulatedMachine() = default;

SimulatedMachine SimulatedMachine::fromFile(const std::filesystem::path& path) {
    return SimulatedMachine(Machine::fromFile(path));
}

SimulatedMachine SimulatedMachine::fromJson(std::string_view text) {
    return SimulatedMachine(Machine::fromJsonText(text));
}

SimulatedMachine& SimulatedMachine::installForProcess(const std::filesystem::path& path) {
    // Both exist before the first snapshot, so they outlive the objects it creates.
    static std::optional<SimulatedMachine> machine;
    static std::optional<ScopedBackend> scope;
    machine.emplace(fromFile(path));
    scope.emplace(*machine);
    return *machine;
}

const Machine& SimulatedMachine::machine() const {
    return parts_->machine;
}

const MachineState& SimulatedMachine::state() const {
    return parts_->state();
}

void SimulatedMachine::applyStep(std::size_t i) {
    if (i >= parts_->machine.stepCount()) {
        throw std::out_of_range("simulated machine: no step " + std::to_string(i));
    }
    parts_->clock = parts_->machine.stepTime(i);
    parts_->step = i;
    parts_->facts.reset();
}

std::shared_ptr<const StorageFacts> SimulatedMachine::storageFacts() {
    if (!parts_->facts) {
        parts_->facts = std::make_shared<const StorageFacts>(parts_->state().storage);
    }
    return parts_->facts;
}

double SimulatedMachine::monotonicSeconds() {
    return parts_->clock;
}

BOOL SimulatedMachine::globalMemoryStatusEx(MEMORYSTATUSEX* status) {
    if (status == nullptr || status->dwLength != sizeof(MEMORYSTATUSEX)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& memory = state().memory;
    if (!memory) {
        setLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    std::memset(status, 0, sizeof(*status));
    status->dwLength = sizeof(MEMORYSTATUSEX);
    status->dwMemoryLoad = memory->load;
    status->ullTotalPhys = memory->totalPhys;
    status->ullAvailPhys = memory->availPhys;
    return TRUE;
}

} // namespace platform::simulated
