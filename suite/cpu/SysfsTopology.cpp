#include "suite/cpu/SysfsTopology.h"

#include "platform/TextFile.h"
#include "suite/cpu/CpuList.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <tuple>

namespace libSysTopo::cpu {
namespace {

namespace fs = std::filesystem;

fs::path cpuDirectory(const fs::path& root, unsigned cpu) {
    return root / ("cpu" + std::to_string(cpu));
}

// cpuN directories of root whose own online flag is not 0 (cpu0 often has no flag at all).
std::vector<unsigned> scanOnlineCpus(const fs::path& root) {
    std::vector<unsigned> cpus;
    std::error_code error;
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 4 || name.compare(0, 3, "cpu") != 0) {
            continue;
        }
        const auto number = platform::parseNumber<std::uint64_t>(std::string_view(name).substr(3));
        if (!number || *number >= kMaxCpuNumber || name[3] == '+' ||
            !fs::is_directory(it->path(), error)) {
            continue;
        }
        if (platform::readNumberFile<std::uint64_t>(it->path() / "online").value_or(1) == 0) {
            continue;
        }
        cpus.push_back(static_cast<unsigned>(*number));
    }
    std::sort(cpus.begin(), cpus.end());
    return cpus;
}

std::vector<unsigned> onlineCpus(const fs::path& root) {
    if (const auto text = platform::readTextFile(root / "online")) {
        if (auto cpus = parseCpuList(*text)) {
            return *cpus;
        }
    }
    return scanOnlineCpus(root);
}

// Identifiers the kernel reports as -1 when it does not know them.
std::optional<unsigned> readIdentifier(const fs::path& path) {
    const auto value = platform::readNumberFile<std::int64_t>(path);
    if (!value || *value < 0 || *value > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<unsigned>(*value);
}

struct CpuPlace {
    unsigned cpu = 0;
    unsigned package = 0;
    unsigned die = 0;
    unsigned coreNumber = 0;
    // The lowest online processor of the same core: the core's identity within the package.
    unsigned coreLeader = 0;
};

std::optional<std::vector<unsigned>> siblings(const fs::path& topology) {
    for (const char* name : {"core_cpus_list", "thread_siblings_list"}) {
        if (const auto text = platform::readTextFile(topology / name)) {
            return parseCpuList(*text);
        }
    }
    return std::nullopt;
}

} // namespace

std::vector<SysfsPackage> readSysfsTopology(const fs::path& root) {
    const std::vector<unsigned> cpus = onlineCpus(root);
    const auto isOnline = [&cpus](unsigned cpu) {
        return std::binary_search(cpus.begin(), cpus.end(), cpu);
    };

    std::vector<CpuPlace> places;
    for (const unsigned cpu : cpus) {
        const fs::path topology = cpuDirectory(root, cpu) / "topology";
        CpuPlace place;
        place.cpu = cpu;
        const auto package = readIdentifier(topology / "physical_package_id");
        const auto core = readIdentifier(topology / "core_id");
        if (!package || !core) {
            // Unknown placement: a core of its own, numbered after the processor.
            place.coreNumber = cpu;
            place.coreLeader = cpu;
            places.push_back(place);
            continue;
        }
        place.package = *package;
        place.die = readIdentifier(topology / "die_id").value_or(0);
        place.coreNumber = *core;
        place.coreLeader = cpu;
        if (const auto threads = siblings(topology)) {
            for (const unsigned sibling : *threads) {
                if (isOnline(sibling)) {
                    place.coreLeader = std::min(place.coreLeader, sibling);
                    break;
                }
            }
        } else {
            place.coreLeader = UINT32_MAX;
        }
        places.push_back(place);
    }

    // Without a sibling list, processors of equal package, die and core number share a core.
    std::map<std::tuple<unsigned, unsigned, unsigned>, unsigned> leaders;
    for (CpuPlace& place : places) {
        if (place.coreLeader == UINT32_MAX) {
            const auto key = std::make_tuple(place.package, place.die, place.coreNumber);
            place.coreLeader = leaders.try_emplace(key, place.cpu).first->second;
        }
    }

    // Packages by id; within each, cores keyed by number and then leader.
    std::map<unsigned, std::map<std::pair<unsigned, unsigned>, SysfsCore>> grouped;
    std::map<unsigned, std::vector<unsigned>> packageCpus;
    for (const CpuPlace& place : places) {
        SysfsCore& core = grouped[place.package][{place.coreNumber, place.coreLeader}];
        core.number = place.coreNumber;
        core.cpus.push_back(place.cpu);
        packageCpus[place.package].push_back(place.cpu);
    }

    std::vector<SysfsPackage> packages;
    for (auto& [id, cores] : grouped) {
        SysfsPackage package;
        package.id = id;
        package.cpus = std::move(packageCpus[id]);
        for (auto& entry : cores) {
            package.cores.push_back(std::move(entry.second));
        }
        packages.push_back(std::move(package));
    }
    return packages;
}

} // namespace libSysTopo::cpu
