#include "suite/cpu/CpuFreq.h"

#include "platform/Hot.h"
#include "platform/TextFile.h"

#include <system_error>

namespace libSysTopo::cpu {
namespace {

using platform::KeptFile;

// The kilohertz of files[index] in hertz; nullopt when there is no such file or no valid value.
SM_HOT std::optional<std::uint64_t> readHertz(std::vector<KeptFile>& files, std::size_t index) {
    const auto text = index < files.size() ? files[index].read() : std::nullopt;
    if (!text) {
        return std::nullopt;
    }
    const auto kilohertz = platform::parseNumber<std::uint64_t>(*text);
    if (!kilohertz || *kilohertz == 0 || *kilohertz > UINT64_MAX / 1000) {
        return std::nullopt;
    }
    return *kilohertz * 1000;
}

void addIfExists(std::vector<KeptFile>& files, const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::exists(path, error)) {
        files.emplace_back(path.string(), KeptFile::Reads::Attribute);
    }
}

} // namespace

CpuFrequency readCpuFrequency(const std::filesystem::path& root, unsigned cpu) {
    return CpuFreqFiles(root).read(cpu);
}

CpuFreqFiles::CpuFreqFiles(std::filesystem::path root) : root_(std::move(root)) {}

SM_HOT CpuFrequency CpuFreqFiles::read(unsigned cpu) {
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
                addIfExists(files.current, directory / name);
            }
            addIfExists(files.min, directory / "cpuinfo_min_freq");
            addIfExists(files.max, directory / "cpuinfo_max_freq");
        }
    }
    CpuFrequency frequency;
    for (std::size_t i = 0; i < files.current.size() && !frequency.currentHz; ++i) {
        frequency.currentHz = readHertz(files.current, i);
    }
    frequency.minHz = readHertz(files.min, 0);
    frequency.maxHz = readHertz(files.max, 0);
    return frequency;
}

} // namespace libSysTopo::cpu
