#pragma once
// The processor topology: the machine's physical packages and their cores.

#include "suite/cpu/AffinityMask.h"
#include "suite/cpu/ProcessorLayout.h"
#include "suite/cpu/x86_cpu.h"
#include "suite/cpu/x86_cpu_location.h"

#include <memory>
#include <vector>

namespace libSysTopo::cpu {

class ProcessorSource;

class x86_cpu_core {
public:
    x86_cpu_core(x86_cpu cpu, unsigned number);

    const x86_cpu_location& getLocation() const { return cpu_.getLocation(); }
    AffinityMask getAffinityMask() const { return cpu_.getAffinityMask(); }
    // The number the machine gives the core; not necessarily its index.
    unsigned getCoreNumber() const { return number_; }
    const x86_cpu& get() const { return cpu_; }
    x86_cpu& get() { return cpu_; }

private:
    x86_cpu cpu_;
    unsigned number_;
};

class x86_physical_cpu {
public:
    x86_physical_cpu(x86_cpu cpu, unsigned id, std::vector<x86_cpu_core> cores);

    const x86_cpu& get() const { return cpu_; }
    x86_cpu& get() { return cpu_; }
    const x86_cpu_location& getLocation() const { return cpu_.getLocation(); }
    AffinityMask getAffinityMask() const { return cpu_.getAffinityMask(); }
    // The machine's own identifier of the package (see PackageLayout::id).
    unsigned getPackageId() const { return id_; }

    unsigned getCoreCount() const { return static_cast<unsigned>(cores_.size()); }
    // Throws qel::IndexOutOfBounds for an index at or above getCoreCount().
    const x86_cpu_core& getCore(unsigned index) const;
    x86_cpu_core& getCore(unsigned index);

    // The package's reader: that of its x86_cpu. Null when the temperature cannot be read.
    const ICpuTemperatureAccessor* getTemperatureAccessor() const {
        return cpu_.getTemperatureAccessor();
    }

private:
    x86_cpu cpu_;
    unsigned id_;
    std::vector<x86_cpu_core> cores_;
};

class x86_physical_cpus {
public:
    // Lists the packages of the simulated machine when the current backend states processor
    // facts, else of the live machine. With `identify`, each package's name and signature are
    // read too (on one of its processors); without, they stay empty and zero.
    explicit x86_physical_cpus(bool identify);
    // The same over a given source.
    x86_physical_cpus(std::unique_ptr<ProcessorSource> source, bool identify);
    ~x86_physical_cpus();
    x86_physical_cpus(const x86_physical_cpus&) = delete;
    x86_physical_cpus& operator=(const x86_physical_cpus&) = delete;

    unsigned getCpuCount() const { return static_cast<unsigned>(packages_.size()); }
    // Throws qel::IndexOutOfBounds for an index at or above getCpuCount().
    x86_physical_cpu& operator[](unsigned index);
    const x86_physical_cpu& operator[](unsigned index) const;

private:
    std::unique_ptr<ProcessorSource> source_;
    std::vector<x86_physical_cpu> packages_;
};

} // namespace libSysTopo::cpu
