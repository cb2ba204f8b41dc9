#pragma once

#include <cstdint>

namespace libOSWindows {

// The four parts of a SCSI address: port, path, target, logical unit.
struct ScsiAddress {
    ScsiAddress();
    ScsiAddress(const ScsiAddress&) = default;
    ScsiAddress& operator=(const ScsiAddress& other);

    std::uint8_t portNumber;
    std::uint8_t pathId;
    std::uint8_t targetId;
    std::uint8_t lun;
};

} // namespace libOSWindows
