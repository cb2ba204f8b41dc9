#pragma once
// A simulated machine file, loaded and checked as a whole: the JSON document and the typed facts
// it states, once for the machine as written and once after each step's patch. Every key of the
// format is type-checked on load; nothing is left to fail later, while the machine is read.
//
// A key that is missing or null is "not there": the optional below is empty and the call that
// would answer it fails. A member missing inside a record that is there reads as zero or empty,
// as the matching Win32 structure would hold it.

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

struct WindowsState {
    std::optional<std::u16string> systemDirectory;
    std::optional<std::u16string> moduleFileName;
};

struct VolumeState {
    std::u16string label;
    std::uint32_t serial = 0;
    std::u16string fileSystem;
    std::uint32_t flags = 0;
};

struct SpaceState {
    std::uint64_t total = 0;
    std::uint64_t free = 0;
    std::uint64_t available = 0;
};

struct DriveState {
    std::uint32_t type = 0;
    int network = 0;
    bool openable = true;
    std::optional<std::uint32_t> deviceNumber;
    std::optional<VolumeState> volume;
    std::optional<SpaceState> space;
};

struct DevNodeState {
    std::optional<std::uint32_t> status;
};

struct DeviceState {
    std::optional<RegistryValue> friendlyName;
    std::optional<RegistryValue> description;
    std::optional<RegistryValue> enumeratorName;
    std::optional<std::u16string> instanceId;
    // In the disk-interface set (the key is there, even as null)...
    bool hasInterface = false;
    // ...and with this path; empty for a null path, which fails to enumerate.
    std::optional<std::u16string> interfacePath;
    std::optional<DevNodeState> devnode;
};

struct DeviceNumberState {
    std::uint32_t type = 0;
    std::uint32_t number = 0;
};

// Texts that go on the wire as single bytes (descriptor, ATA and SCSI strings) are kept as
// bytes: each character of the file's text must lie in U+0000..U+00FF and becomes that byte.
struct DescriptorState {
    bool removableMedia = false;
    std::uint32_t busType = 0;
    std::optional<std::string> vendorId;
    std::optional<std::string> productId;
    std::optional<std::string> productRevision;
    std::optional<std::string> serialNumber;
    // The whole descriptor as recorded ("hex"); the members above are then unused.
    std::optional<std::vector<std::uint8_t>> data;
};

struct GeometryState {
    std::uint64_t cylinders = 0;
    std::uint32_t mediaType = 0;
    std::uint32_t tracksPerCylinder = 0;
    std::uint32_t sectorsPerTrack = 0;
    std::uint32_t bytesPerSector = 0;
};

struct AtaIdentifyState {
    std::string model;
    std::string serial;
    std::string firmware;
    // The whole IDENTIFY block as recorded ("hex"); the texts above are then unused.
    std::optional<std::array<std::uint8_t, 512>> block;
};

struct AtaState {
    std::optional<AtaIdentifyState> identify;
    // SMART answers only when the temperature or the whole recorded block ("hex") is there.
    std::optional<int> smartTemperature;
    std::optional<std::array<std::uint8_t, 512>> smartBlock;
};

struct ScsiInquiryState {
    std::string vendor;
    std::string product;
    std::string revision;
    // The whole standard INQUIRY data as recorded ("hex"); the texts above are then unused.
    std::optional<std::vector<std::uint8_t>> data;
};

struct ScsiState {
    std::optional<ScsiInquiryState> inquiry;
    std::optional<std::string> serial;
    std::optional<int> temperature;
    // Pages as recorded ("vpd", "logPages"), answered as they stand, before the texts above.
    std::optional<std::vector<std::uint8_t>> vpd80;
    std::optional<std::vector<std::uint8_t>> vpd83;
    std::map<std::uint8_t, std::vector<std::uint8_t>> logPages;
};

struct DiskState {
    bool openable = true;
    std::optional<DeviceNumberState> deviceNumber;
    std::optional<DescriptorState> descriptor;
    std::optional<GeometryState> geometry;
    std::optional<std::uint64_t> length;
    std::optional<AtaState> ata;
    std::optional<ScsiState> scsi;
};

// Everything the machine answers at one moment.
struct MachineState {
    std::optional<MemoryState> memory;
    WindowsState windows;
    ProcessorFacts cpu;
    std::map<char, DriveState> drives; // 'A'..'Z'
    std::vector<DeviceState> devices;
    std::map<std::u16string, DiskState> disks;
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
