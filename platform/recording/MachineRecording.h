#pragma once
// Snapshots recorded one after another, as one simulated machine: the first as the machine
// itself, and with more than one, a step per snapshot whose time counts from the first and whose
// patch holds only what changed since the one before.

#include <nlohmann/json.hpp>

namespace platform::recording {

class MachineRecording {
public:
    // `machine`: everything the machine answered for the snapshot taken at `seconds` (on the
    // clock of the seam).
    void add(double seconds, nlohmann::json machine);

    // Facts that held from the start though first asked later (see
    // RecordingBackend::lateAnswers), merged into the first machine.
    void setLateAnswers(nlohmann::json patch) { late_ = std::move(patch); }

    // Null before the first snapshot.
    nlohmann::json document() const;

private:
    nlohmann::json first_;
    nlohmann::json late_;
    nlohmann::json last_;
    nlohmann::json steps_ = nlohmann::json::array();
    double start_ = 0.0;
};

} // namespace platform::recording
