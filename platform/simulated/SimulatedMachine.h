#pragma once
// A machine described by a JSON file, answering the Win32 calls of the seam with Win32's own
// semantics: buffer and required sizes, GetLastError codes (per thread), handles and device sets
// that must be closed. Hosts and tests install it for a scope with platform::ScopedBackend.
//
// Time and change: the clock starts at 0 with the machine as written; applyStep(i) sets the
// clock to step i's time and the machine to its state after step i's patch.
//
// It counts every handle and device set opened and closed, so tests can show that each one is
// closed exactly once. Not thread-safe, like the system it serves (the last error aside).

#include "platform/StorageEmulator.h"
#include "platform/simulated/Machine.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::simulated {

class SimulatedMachine final : public StorageEmulator {
public:
    explicit SimulatedMachine(Machine machine);
    // Both throw MachineError for a file that breaks the format.
    static SimulatedMachine fromFile(const std::filesystem::path& path);
    static SimulatedMachine fromJson(std::string_view text);

    // Loads `path` and installs it for the rest of the process, in place of the machine a
    // previous call installed. Hosts use it: the library's process-wide objects (the disks with
    // their open handles) are destroyed at exit and close their handles on the machine that
    // opened them, so the machine outlives them. Throws MachineError, installing nothing.
    static SimulatedMachine& installForProcess(const std::filesystem::path& path);

    SimulatedMachine(SimulatedMachine&&) noexcept;
    SimulatedMachine& operator=(SimulatedMachine&&) noexcept;
    ~SimulatedMachine() override;

    // Handles and device sets are counted: see StorageEmulator.

    const Machine& machine() const;
    // What the machine answers now.
    const MachineState& state() const;

    std::size_t stepCount() const { return machine().stepCount(); }
    // Sets the clock to step i's time and the machine to its state after step i; throws
    // std::out_of_range past the last step. Open handles stay open.
    void applyStep(std::size_t i);

    double monotonicSeconds() override;

    BOOL globalMemoryStatusEx(MEMORYSTATUSEX* status) override;

    // The cpu section: no package (and a usage meter) when the file has none.
    const ProcessorFacts* processorFacts() override { return &state().cpu; }

private:
    struct Parts; // the machine, its step and clock, and the storage facts of that step

    std::shared_ptr<const StorageFacts> storageFacts() override;

    std::unique_ptr<Parts> parts_;
};

} // namespace platform::simulated
