#include "suite/cpu/ProcCpuInfo.h"

#include "platform/TextFile.h"

#include <charconv>
#include <cmath>

namespace libSysTopo::cpu {
namespace {

std::optional<double> parseMhz(std::string_view text) {
    text = platform::trimText(text);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() ||
        !std::isfinite(value) || value < 0.0) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::vector<CpuInfoEntry> parseProcCpuInfo(std::string_view text) {
    std::vector<CpuInfoEntry> entries;
    parseProcCpuInfo(text, entries);
    return entries;
}

void parseProcCpuInfo(std::string_view text, std::vector<CpuInfoEntry>& entries) {
    std::size_t used = 0;
    bool inBlock = false;
    while (!text.empty()) {
        const std::string_view line = platform::nextLine(text);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view key = platform::trimText(line.substr(0, colon));
        const std::string_view value = platform::trimText(line.substr(colon + 1));
        if (key == "processor") {
            const auto number = platform::parseNumber<std::uint32_t>(value);
            inBlock = number.has_value();
            if (inBlock) {
                if (used == entries.size()) {
                    entries.emplace_back();
                }
                CpuInfoEntry& entry = entries[used++];
                entry.processor = *number;
                entry.mhz.reset();
                entry.modelName.clear();
            }
        } else if (!inBlock) {
            continue;
        } else if (key == "cpu MHz") {
            entries[used - 1].mhz = parseMhz(value);
        } else if (key == "model name") {
            entries[used - 1].modelName.assign(value);
        }
    }
    entries.resize(used);
}

bool cpuInfoClockIsFixed(std::string_view text) {
    while (!text.empty()) {
        const std::string_view line = platform::nextLine(text);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos ||
            platform::trimText(line.substr(0, colon)) != "flags") {
            continue;
        }
        std::string_view flags = line.substr(colon + 1);
        while (!flags.empty()) {
            const auto blank = flags.find_first_of(" \t\r");
            if (flags.substr(0, blank) == "aperfmperf") {
                return false;
            }
            flags = blank == std::string_view::npos ? std::string_view{} : flags.substr(blank + 1);
        }
        return true;
    }
    return false;
}

} // namespace libSysTopo::cpu
