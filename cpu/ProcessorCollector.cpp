#include "cpu/ProcessorCollector.h"

#include "cpu/ProcessorProperties.h"
#include "foundation/SprintfFormat.h"
#include "suite/cpu/CpuTemperatureAccessors.h"

namespace systemmonitor {
namespace {

using libSysTopo::cpu::AffinityMask;
using libSysTopo::cpu::CpuTemperature;
using libSysTopo::cpu::ICpuTemperatureAccessor;
using libSysTopo::cpu::ICpuTimeMetrics;

void addTemperature(NodePointer& node, const ICpuTemperatureAccessor* reader) {
    CpuTemperature temperature;
    if (reader != nullptr && reader->readTemperature(temperature)) {
        addIntegerProperty(node, "TemperatureCelsius",
                           static_cast<int>(temperature.getIntegerTemperature()));
    }
}

void addUsage(NodePointer& node, ICpuTimeMetrics* meter, const AffinityMask& mask) {
    if (meter == nullptr) {
        return;
    }
    unsigned percent = 0;
    if (meter->getPercentUsage(mask, percent)) {
        addIntegerProperty(node, "PercentUsage", static_cast<int>(percent));
    }
}

} // namespace

void collectProcessorDevices(NodePointer& root) {
    static ProcessorCollector collector;
    collector.collect(root);
}

void addCoreDevices(NodePointer& package, ICpuTimeMetrics*& meter,
                    libSysTopo::cpu::x86_physical_cpu& cpu) {
    for (unsigned j = 0; j < cpu.getCoreCount(); ++j) {
        const libSysTopo::cpu::x86_cpu_core& core = std::as_const(cpu).getCore(j);
        const qel::String key = core.getLocation().toString(true);
        const qel::String name = qel::SprintfFormat("Core %u", core.getCoreNumber());
        NodePointer node = makeNode(CPU_CORE, name, key);
        addTemperature(node, core.get().getTemperatureAccessor());
        addUsage(node, meter, core.getAffinityMask());
        package->addChildDevice(node);
    }
}

ProcessorCollector::SetUp ProcessorCollector::librarySetUp() {
    return SetUp{
        [] { return std::make_unique<libSysTopo::cpu::x86_physical_cpus>(true); },
        [] { return libCpuProbe::cpu::CpuTimeMetrics::getAccessor(); },
        [](libSysTopo::cpu::x86_physical_cpus& topology) {
            libCpuProbe::cpu::CpuTemperatureAccessors::addAccessors(topology);
        },
    };
}

ProcessorCollector::~ProcessorCollector() {
    delete meter_;
    meter_ = nullptr;
    topology_.reset();
}

void ProcessorCollector::collect(NodePointer& root) {
    if (!topology_) {
        topology_ = setUp_.makeTopology();
    }
    if (!meterObtained_) {
        meter_ = setUp_.getMeter().release();
        meterObtained_ = true;
    }
    if (!accessorsAdded_) {
        setUp_.addAccessors(*topology_);
        accessorsAdded_ = true;
    }
    if (meter_ != nullptr) {
        meter_->refresh();
    }

    NodePointer processors = makeNode(SYSTEM_CPU, "System CPU", "SYSCPU");
    root->addChildDevice(processors);
    for (unsigned i = 0; i < topology_->getCpuCount(); ++i) {
        libSysTopo::cpu::x86_physical_cpu& package = (*topology_)[i];
        const qel::String name = std::as_const(package).get().getCpuName();
        const qel::String key = package.getLocation().toString(true);
        NodePointer node = makeNode(CPU_PACKAGE, name, key);
        addIdentificationProperties(node, package);
        addTemperature(node, package.getTemperatureAccessor());
        addSpeedProperties(node, package);
        addUsage(node, meter_, package.getAffinityMask());
        addCoreDevices(node, meter_, package);
        processors->addChildDevice(node);
    }
}

} // namespace systemmonitor
