#pragma once
// A simulated machine file, loaded and checked as a whole: the JSON document and the typed facts
// it states, once for the machine as written and once after each step's patch. Every key of the
// format is type-checked on load; nothing is left to fail later, while the machine is read.
//
// A key that is missing or null is "not there": the optional below is empty and the call that
// would answer it fails. A member missing inside a record that is there reads as zero or empty,
// as the matching Win32 structure would hold it. Texts that go on the wire as single bytes
// (descriptor, ATA and SCSI strings) must lie in U+0000..U+00FF; each becomes that byte.

#include "platform/ProcessorFacts.h"
#include "platform/StorageFacts.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform::simulated {

// A machine file that breaks the format. The message starts with the JSON path of the offending
// value ("$.drives.C.space.total: expected an unsigned integer"); for an error that a step's
// patch brings in, the path runs through the patch ("$.steps[1].patch.drives.C.type: ...").
class MachineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct MemoryState {
    std::uint32_t load = 0;
    std::uint64_t totalPhys = 0;
    std::uint64_t availPhys = 0;
};

// Everything the machine answers at one moment.
struct MachineState {
    std::optional<MemoryState> memory;
    ProcessorFacts cpu;
    // Drive letters, devices, disks and the windows section, as the storage emulator takes them.
    StorageFacts storage;
};

class Machine {
public:
    // Each throws MachineError, and nothing else, for a file that breaks the format (or, for
    // fromFile, cannot be read), having checked the machine and every step's patch. Loading
    // costs time and memory linear in the file's size; nesting is limited to 64 levels.
    static Machine fromJsonText(std::string_view text);
    static Machine fromFile(const std::filesystem::path& path);

    // At least 1: a file without steps has one implicit step at time 0 with no patch.
    std::size_t stepCount() const { return steps_.size(); }
    // The clock reading of step i (seconds, never decreasing with i).
    double stepTime(std::size_t i) const { return steps_.at(i).at; }

    // The machine as written, before any step; the clock then reads 0.
    const MachineState& initialState() const { return initialState_; }
    // The machine after step i's patch (and all those before it). Steps are kept as patches and
    // replayed: the answer stays valid until the next call, and going forward step by step
    // costs only each patch. Not thread-safe.
    const MachineState& stateAt(std::size_t i) const;

private:
    struct Step {
        double at = 0.0;
        nlohmann::json patch; // null: none
    };
    // Where stateAt last left the replay.
    struct Cursor {
        nlohmann::json document;
        MachineState state;
        std::size_t step = 0;
        bool applied = false; // the state is after step `step`, not the initial one
    };

    static Machine fromDocument(nlohmann::json document);

    nlohmann::json initialDocument_; // without "steps"
    MachineState initialState_;
    std::vector<Step> steps_;
    mutable std::optional<Cursor> cursor_;
};

} // namespace platform::simulated
