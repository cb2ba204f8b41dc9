#include "suite/cpu/CpuFreq.h"

#include "suite/cpu/TextFile.h"

#include <system_error>

namespace libSysTopo::cpu {
namespace {

std::optional<std::uint64_t> readHertz(const std::string& path, std::string& buffer) {
    if (path.empty() || !readTextFile(path.c_str(), buffer)) {
        return std::nullopt;
    }
    const auto kilohertz = parseUnsigned(buffer);
    if (!kilohertz || *kilohertz == 0 || *kilohertz > UINT64_MAX / 1000) {
        return std::nullopt;
    }
    return *kilohertz * 1000;
}

std::string existing(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error) ? path.string() : std::string();
}

} // namespace

CpuFrequency readCpuFrequency(const std::filesystem::path& root, unsigned cpu) {
    return CpuFreqFiles(root).read(cpu);
}

CpuFreqFiles::CpuFreqFiles(std::filesystem::path root) : root_(std::move(root)) {}

CpuFrequency CpuFreqFiles::read(unsigned cpu) {
    if (cpu >= cpus_.size()) {
        cpus_.resize(cpu + 1);
    }
    Files& files = cpus_[cpu];
    if (!files.probed) {
        files.probed = true;
        const std::filesystem::path directory = root_ / ("cpu" + std::to_string(cpu)) / "cpufreq";
        std::error_code error;
        if (std::filesystem::is_directory(directory, error)) {
            for (const char* name : {"scaling_cur_freq", "cpuinfo_cur_freq"}) {
                if (std::string path = existing(directory / name); !path.empty()) {
                    files.current.push_back(std::move(path));
                }
            }
            files.min = existing(directory / "cpuinfo_min_freq");
            files.max = existing(directory / "cpuinfo_max_freq");
        }
    }
    CpuFrequency frequency;
    for (const std::string& path : files.current) {
        frequency.currentHz = readHertz(path, buffer_);
        if (frequency.currentHz) {
            break;
        }
    }
    frequency.minHz = readHertz(files.min, buffer_);
    frequency.maxHz = readHertz(files.max, buffer_);
    return frequency;
}

} // namespace libSysTopo::cpu
