#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

struct MemInfo {
    std::uint64_t totalBytes = 0;
    std::uint64_t availableBytes = 0;
    std::uint64_t swapTotalBytes = 0;
    std::uint64_t swapFreeBytes = 0;
};

// Reads MemTotal and MemAvailable (and the swap figures) of a /proc/meminfo text; nullopt when
// either of the first two is missing or malformed.
std::optional<MemInfo> parseMemInfo(std::string_view text);

// The share of memory in use as Windows reports it: a whole percent, rounded to nearest.
std::uint32_t memoryLoadPercent(std::uint64_t totalBytes, std::uint64_t availableBytes);

} // namespace platform
