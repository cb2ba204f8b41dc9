#include "platform/simulated/SimulatedMachine.h"

#include "platform/simulated/MachineFacts.h"

#include <cstring>
#include <stdexcept>
#include <utility>

namespace platform::simulated {

struct SimulatedMachine::Parts final : StorageSource {
    explicit Parts(Machine m) : machine(std::move(m)) {}

    const MachineState& state() const {
        return step ? machine.stateAt(*step) : machine.initialState();
    }

    // Built once per step, when first asked.
    std::shared_ptr<const StorageFacts> facts() override {
        if (!cached) {
            cached = storageFacts(state());
        }
        return cached;
    }

    Machine machine;
    std::optional<std::size_t> step; // none: the machine as written
    double clock = 0.0;
    std::shared_ptr<const StorageFacts> cached;
    StorageEmulator emulator{*this};
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
    parts_->cached.reset();
}

StorageEmulator& SimulatedMachine::storage() {
    return parts_->emulator;
}

StorageEmulator::Counts SimulatedMachine::counts() const {
    return parts_->emulator.counts();
}

namespace {
std::size_t countOf(const std::map<std::u16string, std::size_t, std::less<>>& counts,
                    std::u16string_view path) {
    const auto it = counts.find(path);
    return it == counts.end() ? 0 : it->second;
}
} // namespace

std::size_t SimulatedMachine::opens(std::u16string_view path) const {
    return countOf(counts().opensByPath, path);
}

std::size_t SimulatedMachine::closes(std::u16string_view path) const {
    return countOf(counts().closesByPath, path);
}

std::size_t SimulatedMachine::openHandleCount() const {
    return parts_->emulator.openHandleCount();
}

std::size_t SimulatedMachine::openDeviceSetCount() const {
    return parts_->emulator.openDeviceSetCount();
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
