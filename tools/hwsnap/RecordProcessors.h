#pragma once
// The "cpu" section of a recorded machine. The processor libraries read the live processor
// themselves, not through the seam, so the recorder cannot see their answers: the section is
// stated from the facts of a simulated machine when one answers, else from the snapshot's
// processor nodes (names, signatures, temperatures, usage) and the live clocks.

#include "platform/ProcessorFacts.h"

#include <nlohmann/json.hpp>

#include <string_view>

namespace hwsnap {

// `snapshotJson`: the snapshot as hwsnap --json prints it. `stated`: the backend's processor
// facts, or null on the live machine.
platform::ProcessorFacts processorFacts(std::string_view snapshotJson,
                                        const platform::ProcessorFacts* stated);

nlohmann::json processorSection(const platform::ProcessorFacts& facts);

} // namespace hwsnap
