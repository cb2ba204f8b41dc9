#include "suite/cpu/CpuList.h"

#include "platform/TextFile.h"

#include <algorithm>
#include <charconv>

namespace libSysTopo::cpu {
namespace {

std::optional<unsigned> parseNumber(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() ||
        value >= kMaxCpuNumber) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<std::vector<unsigned>> parseCpuList(std::string_view text) {
    text = platform::trimText(text);
    // Membership by number keeps overlapping ranges from multiplying the work.
    std::vector<bool> member(kMaxCpuNumber, false);
    // Only the span the list names is scanned: a short list costs little.
    unsigned lowest = kMaxCpuNumber;
    unsigned highest = 0;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        if (comma != std::string_view::npos && text.empty()) {
            return std::nullopt;
        }
        const auto dash = item.find('-');
        const auto first = parseNumber(item.substr(0, dash));
        const auto last =
            dash == std::string_view::npos ? first : parseNumber(item.substr(dash + 1));
        if (!first || !last || *last < *first) {
            return std::nullopt;
        }
        std::fill(member.begin() + *first, member.begin() + *last + 1, true);
        lowest = std::min<unsigned>(lowest, *first);
        highest = std::max<unsigned>(highest, *last);
    }
    std::vector<unsigned> cpus;
    for (unsigned cpu = lowest; cpu <= highest && cpu < kMaxCpuNumber; ++cpu) {
        if (member[cpu]) {
            cpus.push_back(cpu);
        }
    }
    return cpus;
}

} // namespace libSysTopo::cpu
