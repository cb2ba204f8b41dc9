#include "suite/cpu/ProcStat.h"

#include "platform/Hot.h"
#include "platform/TextFile.h"

#include <array>
#include <charconv>
#include <optional>

namespace libCpuProbe::cpu {
namespace {

// Column order of a cpu line since Linux 2.6.33.
enum Column { User, Nice, System, Idle, IoWait, Irq, SoftIrq, Steal, Guest, GuestNice, Count };

std::optional<unsigned> cpuNumber(std::string_view name) {
    if (name.size() < 4 || name.substr(0, 3) != "cpu") {
        return std::nullopt;
    }
    unsigned number = 0;
    const char* first = name.data() + 3;
    const char* last = name.data() + name.size();
    const auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc{} || end != last) {
        return std::nullopt;
    }
    return number;
}

std::optional<CpuTimes> parseColumns(std::string_view rest) {
    std::array<std::uint64_t, Count> columns{};
    std::size_t read = 0;
    while (true) {
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
            rest.remove_prefix(1);
        }
        if (rest.empty() || rest.front() == '\r') {
            break;
        }
        std::uint64_t value = 0;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
        if (error != std::errc{} ||
            (end != rest.data() + rest.size() && *end != ' ' && *end != '\t' && *end != '\r')) {
            return std::nullopt;
        }
        if (read < columns.size()) {
            columns[read] = value;
        }
        ++read;
        rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
    }
    if (read <= Idle) {
        return std::nullopt;
    }
    CpuTimes times;
    times.busy = columns[User] + columns[Nice] + columns[System] + columns[Irq] + columns[SoftIrq] +
                 columns[Steal];
    times.idle = columns[Idle] + columns[IoWait];
    return times;
}

} // namespace

CpuTimeSample parseProcStat(std::string_view text) {
    CpuTimeSample sample;
    parseProcStat(text, sample);
    return sample;
}

SM_HOT void parseProcStat(std::string_view text, CpuTimeSample& sample) {
    sample.clear();
    while (!text.empty()) {
        const std::string_view line = platform::nextLine(text);
        if (line.substr(0, 3) != "cpu") {
            // The processor lines come first; the interrupt counts after them can be long.
            if (!sample.empty()) {
                break;
            }
            continue;
        }
        const auto blank = line.find_first_of(" \t");
        if (blank == std::string_view::npos) {
            continue;
        }
        const auto number = cpuNumber(line.substr(0, blank));
        if (!number) {
            continue;
        }
        if (const auto times = parseColumns(line.substr(blank))) {
            sample[*number] = *times;
        }
    }
}

} // namespace libCpuProbe::cpu
