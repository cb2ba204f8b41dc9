#pragma once
// Serial numbers and volume labels are personal data in a recording that goes with a bug report.
// Each one is replaced by a placeholder of the same length whose characters keep their kind
// (digit, upper- or lower-case letter; anything else stays), the same placeholder wherever the
// serial appears: descriptor, SCSI serial page, IDENTIFY block, and inside instance identifiers
// and interface paths (in either case). Volume serial numbers become other numbers.

#include <nlohmann/json.hpp>

namespace platform::recording {

// Rewrites a recorded machine document (with its steps' patches) in place.
void hideIdentity(nlohmann::json& document);

} // namespace platform::recording
