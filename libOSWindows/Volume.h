#pragma once

#include "foundation/String.h"
#include "libOSWindows/DriveLetterInfo.h"

#include <cstdint>

namespace libOSWindows {

// One drive-letter volume with its label, serial number, file system and space.
struct Volume {
    // Builds the volume of `info` and reads its information at once.
    explicit Volume(const DriveLetterInfo& info);
    Volume(const Volume& other);
    Volume& operator=(const Volume& other);
    ~Volume();

    // Reads (again) label, serial number, file system, read-only flag and, for fixed and
    // removable drives, the space figures. A query that fails leaves its fields as they were.
    void refreshInformation();

    char driveLetter = 0;
    qel::String rootPath;   // "\\.\X:\", for the label and free-space queries
    qel::String devicePath; // "\\.\X:"
    bool isSystemVolume = false;
    bool isProgramVolume = false;
    bool isReadOnly = false;
    qel::String label;
    qel::String serialNumber; // "%04X-%04X"
    qel::String fileSystem;
    std::uint64_t totalBytes = 0;
    std::uint64_t usedBytes = 0;
    std::uint64_t freeBytes = 0; // total free bytes, not the caller's quota
    std::uint32_t driveType = 0;
};

} // namespace libOSWindows
