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

#include "platform/EmulatingBackend.h"
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

class SimulatedMachine final : public EmulatingBackend {
public:
    explicit SimulatedMachine(Machine machine);
    // Both throw MachineError for a file that breaks the format.
    static SimulatedMachine fromFile(const std::filesystem::path& path);
    static SimulatedMachine fromJson(std::string_view text);

    SimulatedMachine(SimulatedMachine&&) noexcept;
    SimulatedMachine& operator=(SimulatedMachine&&) noexcept;
    ~SimulatedMachine() override;

    const Machine& machine() const;
    // What the machine answers now.
    const MachineState& state() const;

    std::size_t stepCount() const { return machine().stepCount(); }
    // Sets the clock to step i's time and the machine to its state after step i; throws
    // std::out_of_range past the last step. Open handles stay open.
    void applyStep(std::size_t i);

    // Handles from CreateFileW: successful opens and closes in total and per path (the name
    // exactly as given to CreateFileW), those open now, and CloseHandle calls that failed
    // because the handle was unknown or already closed.
    std::size_t opens() const { return counts().opens; }
    std::size_t closes() const { return counts().closes; }
    std::size_t opens(std::u16string_view path) const;
    std::size_t closes(std::u16string_view path) const;
    std::size_t openHandleCount() const;
    std::size_t invalidCloses() const { return counts().invalidCloses; }

    // Device sets from SetupDiGetClassDevsW, likewise.
    std::size_t deviceSetsCreated() const { return counts().setsCreated; }
    std::size_t deviceSetsDestroyed() const { return counts().setsDestroyed; }
    std::size_t openDeviceSetCount() const;
    std::size_t invalidDeviceSetDestroys() const { return counts().invalidSetDestroys; }

    double monotonicSeconds() override;

    BOOL globalMemoryStatusEx(MEMORYSTATUSEX* status) override;

    // The cpu section: no package (and a usage meter) when the file has none.
    const ProcessorFacts* processorFacts() override { return &state().cpu; }

private:
    // The machine, the step it is at, and the storage emulator over its facts; on the heap, so
    // that the emulator's source stays where it is when the machine moves.
    struct Parts;

    StorageEmulator& storage() override;
    StorageEmulator::Counts counts() const;

    std::unique_ptr<Parts> parts_;
};

} // namespace platform::simulated
