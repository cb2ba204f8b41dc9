#pragma once

#include <cstdint>

namespace libOSWindows {

// A drive letter and the platform's drive type for its root.
struct DriveLetterInfo {
    char driveLetter = 0;        // 'A' to 'Z'
    std::uint32_t driveType = 0; // GetDriveTypeW's code
};

} // namespace libOSWindows
