#include "platform/linux/MemInfo.h"

#include "platform/Hot.h"
#include "platform/TextFile.h"

#include <charconv>
#include <iterator>

namespace platform {
namespace {

// The kB value of one "Key:   123 kB" line, or nullopt.
std::optional<std::uint64_t> kilobytes(std::string_view line) {
    const auto colon = line.find(':');
    std::string_view rest = line.substr(colon + 1);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
        rest.remove_prefix(1);
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc{} || end == rest.data()) {
        return std::nullopt;
    }
    const std::string_view unit = std::string_view(end, rest.data() + rest.size() - end);
    if (unit.find("kB") == std::string_view::npos || value > UINT64_MAX / 1024) {
        return std::nullopt;
    }
    return value * 1024;
}

} // namespace

SM_HOT std::optional<MemInfo> parseMemInfo(std::string_view text) {
    MemInfo info;
    const struct {
        std::string_view key;
        std::uint64_t* target;
    } wanted[] = {{"MemTotal", &info.totalBytes},
                  {"MemAvailable", &info.availableBytes},
                  {"SwapTotal", &info.swapTotalBytes},
                  {"SwapFree", &info.swapFreeBytes}};
    constexpr unsigned kAll = 0xF;
    unsigned seen = 0; // a bit for each of wanted
    // The four come near the top: the rest of the file (dozens of lines) is not looked at.
    while (!text.empty() && seen != kAll) {
        const std::string_view line = nextLine(text);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view key = line.substr(0, colon);
        for (unsigned i = 0; i < std::size(wanted); ++i) {
            if (key != wanted[i].key) {
                continue;
            }
            const auto bytes = kilobytes(line);
            if (!bytes) {
                return std::nullopt;
            }
            *wanted[i].target = *bytes;
            seen |= 1u << i;
            break;
        }
    }
    if ((seen & 3u) != 3u || info.availableBytes > info.totalBytes) {
        return std::nullopt;
    }
    return info;
}

SM_HOT std::uint32_t memoryLoadPercent(std::uint64_t totalBytes, std::uint64_t availableBytes) {
    if (totalBytes == 0 || availableBytes >= totalBytes) {
        return 0;
    }
    const long double used = static_cast<long double>(totalBytes - availableBytes);
    return static_cast<std::uint32_t>(used * 100.0L / static_cast<long double>(totalBytes) + 0.5L);
}

} // namespace platform
