#pragma once
// The processor subtree: "System CPU", a node per package, a node per core.

#include "cpu/ProcessorProperties.h"
#include "devicetree/PropertyAdders.h"
#include "suite/cpu/CpuTimeMetrics.h"
#include "suite/cpu/ICpuTimeMetrics.h"
#include "suite/cpu/x86_physical_cpus.h"

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace systemmonitor {

// Attaches "System CPU" to `root` with the packages and cores below it. The first call sets up
// the process-wide topology, usage meter and temperature readers, which every later call reuses.
void collectProcessorDevices(NodePointer& root);

// Names and keys of a package's nodes, and its identification: fixed with the topology, so made
// once per package rather than on every snapshot.
struct PackageTexts {
    qel::String name;
    qel::String key;
    PropertyTexts identification;
    std::vector<std::pair<qel::String, qel::String>> cores; // name and key of each core
};
PackageTexts packageTexts(const libSysTopo::cpu::x86_physical_cpu& cpu);

// Attaches a node per core of `cpu` to `package`, with temperature and usage where known.
void addCoreDevices(NodePointer& package, libSysTopo::cpu::ICpuTimeMetrics*& meter,
                    libSysTopo::cpu::x86_physical_cpu& cpu, const PackageTexts& texts);

// What collectProcessorDevices keeps for the life of the process. Tests make their own.
class ProcessorCollector {
public:
    // The three pieces of the first-use set-up; each is attempted again on the next collection
    // after it throws.
    struct SetUp {
        std::function<std::unique_ptr<libSysTopo::cpu::x86_physical_cpus>()> makeTopology;
        std::function<libCpuProbe::cpu::CpuTimeMetrics::Accessor()> getMeter;
        std::function<void(libSysTopo::cpu::x86_physical_cpus&)> addAccessors;
    };

    // The processor libraries' own set-up.
    static SetUp librarySetUp();

    ProcessorCollector() : ProcessorCollector(librarySetUp()) {}
    explicit ProcessorCollector(SetUp setUp) : setUp_(std::move(setUp)) {}
    // Deletes the usage meter first, then the topology.
    ~ProcessorCollector();
    ProcessorCollector(const ProcessorCollector&) = delete;
    ProcessorCollector& operator=(const ProcessorCollector&) = delete;

    void collect(NodePointer& root);

private:
    SetUp setUp_;
    std::unique_ptr<libSysTopo::cpu::x86_physical_cpus> topology_;
    libSysTopo::cpu::ICpuTimeMetrics* meter_ = nullptr;
    bool meterObtained_ = false;
    bool accessorsAdded_ = false;
    std::vector<PackageTexts> texts_; // one per package of topology_
};

} // namespace systemmonitor
