#include "suite/cpu/x86_physical_cpus.h"

#include "foundation/Exception.h"
#include "platform/Hot.h"
#include "suite/cpu/ProcessorSource.h"

#include <climits>
#include <map>

namespace libSysTopo::cpu {
namespace {

int boundedInt(std::size_t value) {
    return value > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

[[noreturn]] void outOfBounds(std::size_t count, unsigned index) {
    throw qel::IndexOutOfBounds(0, boundedInt(count) - 1, boundedInt(index));
}

} // namespace

x86_cpu_core::x86_cpu_core(x86_cpu cpu, unsigned number) : cpu_(std::move(cpu)), number_(number) {}

x86_physical_cpu::x86_physical_cpu(x86_cpu cpu, unsigned id, std::vector<x86_cpu_core> cores)
    : cpu_(std::move(cpu)), id_(id), cores_(std::move(cores)) {}

SM_HOT const x86_cpu_core& x86_physical_cpu::getCore(unsigned index) const {
    if (index >= cores_.size()) {
        outOfBounds(cores_.size(), index);
    }
    return cores_[index];
}

SM_HOT x86_cpu_core& x86_physical_cpu::getCore(unsigned index) {
    if (index >= cores_.size()) {
        outOfBounds(cores_.size(), index);
    }
    return cores_[index];
}

x86_physical_cpus::x86_physical_cpus(bool identify)
    : x86_physical_cpus(makeProcessorSource(), identify) {}

x86_physical_cpus::x86_physical_cpus(std::unique_ptr<ProcessorSource> source, bool identify)
    : source_(std::move(source)) {
    const std::vector<PackageLayout> layout = source_->readLayout();
    packages_.reserve(layout.size());
    for (unsigned index = 0; index < layout.size(); ++index) {
        const PackageLayout& package = layout[index];
        ProcessorIdentity identity;
        if (identify) {
            identity = source_->identify(index, package);
        }
        std::vector<x86_cpu_core> cores;
        cores.reserve(package.cores.size());
        std::map<unsigned, unsigned> seen;
        for (const CoreLayout& core : package.cores) {
            const unsigned ordinal = seen[core.number]++;
            cores.emplace_back(x86_cpu(*source_, x86_cpu_location(index, core.number, ordinal),
                                       core.mask, identity.name, identity.signature),
                               core.number);
        }
        packages_.emplace_back(x86_cpu(*source_, x86_cpu_location(index), package.mask,
                                       std::move(identity.name), identity.signature),
                               package.id, std::move(cores));
    }
}

x86_physical_cpus::~x86_physical_cpus() = default;

SM_HOT x86_physical_cpu& x86_physical_cpus::operator[](unsigned index) {
    if (index >= packages_.size()) {
        outOfBounds(packages_.size(), index);
    }
    return packages_[index];
}

const x86_physical_cpu& x86_physical_cpus::operator[](unsigned index) const {
    if (index >= packages_.size()) {
        outOfBounds(packages_.size(), index);
    }
    return packages_[index];
}

} // namespace libSysTopo::cpu
