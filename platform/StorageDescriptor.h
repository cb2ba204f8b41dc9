#pragma once
// The bytes of a STORAGE_DEVICE_DESCRIPTOR as a device answers them: the fixed part, then its
// zero-terminated ASCII strings, `Size` telling the whole length.

#include "platform/Win32.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The vendor, product, revision and serial texts; a null one is absent (offset 0).
struct DescriptorTexts {
    const std::string* vendor = nullptr;
    const std::string* product = nullptr;
    const std::string* revision = nullptr;
    const std::string* serial = nullptr;
};

// `fixed` with its offsets and Size filled in, followed by the texts.
std::vector<std::uint8_t> storageDeviceDescriptor(STORAGE_DEVICE_DESCRIPTOR fixed,
                                                  const DescriptorTexts& texts);

} // namespace platform
