#include "suite/cpu/CpuFreq.h"

#include "suite/cpu/TextFile.h"

#include <string>

namespace libSysTopo::cpu {
namespace {

std::optional<std::uint64_t> readHertz(const std::filesystem::path& path) {
    const auto kilohertz = readUnsignedFile(path);
    if (!kilohertz || *kilohertz == 0 || *kilohertz > UINT64_MAX / 1000) {
        return std::nullopt;
    }
    return *kilohertz * 1000;
}

} // namespace

CpuFrequency readCpuFrequency(const std::filesystem::path& root, unsigned cpu) {
    const std::filesystem::path directory = root / ("cpu" + std::to_string(cpu)) / "cpufreq";
    CpuFrequency frequency;
    frequency.currentHz = readHertz(directory / "scaling_cur_freq");
    if (!frequency.currentHz) {
        frequency.currentHz = readHertz(directory / "cpuinfo_cur_freq");
    }
    frequency.minHz = readHertz(directory / "cpuinfo_min_freq");
    frequency.maxHz = readHertz(directory / "cpuinfo_max_freq");
    return frequency;
}

} // namespace libSysTopo::cpu
