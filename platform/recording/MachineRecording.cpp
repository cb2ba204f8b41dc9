#include "platform/recording/MachineRecording.h"

#include "platform/recording/RecordingBackend.h"

#include <algorithm>

namespace platform::recording {

void MachineRecording::add(double seconds, nlohmann::json machine) {
    if (first_.is_null()) {
        start_ = seconds;
        steps_.push_back({{"at", 0.0}});
        first_ = machine;
    } else {
        // Steps never go back in time, whatever the clock did.
        const double previous = steps_.back()["at"].get<double>();
        nlohmann::json step = {{"at", std::max(previous, seconds - start_)}};
        nlohmann::json patch = mergePatchBetween(last_, machine);
        if (!patch.empty()) {
            step["patch"] = std::move(patch);
        }
        steps_.push_back(std::move(step));
    }
    last_ = std::move(machine);
}

nlohmann::json MachineRecording::document() const {
    nlohmann::json document = first_;
    if (late_.is_object() && !document.is_null()) {
        document.merge_patch(late_);
    }
    if (steps_.size() > 1) {
        document["steps"] = steps_;
    }
    return document;
}

} // namespace platform::recording
