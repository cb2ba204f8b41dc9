#include "cpu/ProcessorCollector.h"

#include "cpu/ProcessorProperties.h"
#include "foundation/SprintfFormat.h"
#include "platform/Hot.h"
#include "suite/cpu/CpuTemperatureAccessors.h"

namespace systemmonitor {
namespace {

using libSysTopo::cpu::AffinityMask;
using libSysTopo::cpu::CpuTemperature;
using libSysTopo::cpu::ICpuTemperatureAccessor;
using libSysTopo::cpu::ICpuTimeMetrics;

// Keys made once rather than converted from UTF-8 for every node.
const qel::String& temperatureKey() {
    static const qel::String key("TemperatureCelsius");
    return key;
}

const qel::String& usageKey() {
    static const qel::String key("PercentUsage");
    return key;
}

SM_HOT void addTemperature(NodePointer& node, const ICpuTemperatureAccessor* reader) {
    CpuTemperature temperature;
    if (reader != nullptr && reader->readTemperature(temperature)) {
        addIntegerProperty(node, temperatureKey(),
                           static_cast<int>(temperature.getIntegerTemperature()));
    }
}

SM_HOT void addUsage(NodePointer& node, ICpuTimeMetrics* meter, const AffinityMask& mask) {
    if (meter == nullptr) {
        return;
    }
    unsigned percent = 0;
    if (meter->getPercentUsage(mask, percent)) {
        addIntegerProperty(node, usageKey(), static_cast<int>(percent));
    }
}

} // namespace

SM_HOT void collectProcessorDevices(NodePointer& root) {
    static ProcessorCollector collector;
    collector.collect(root);
}

PackageTexts packageTexts(const libSysTopo::cpu::x86_physical_cpu& cpu) {
    PackageTexts texts;
    texts.name = cpu.get().getCpuName();
    texts.key = cpu.getLocation().toString(true);
    texts.identification = identificationTexts(cpu);
    for (unsigned j = 0; j < cpu.getCoreCount(); ++j) {
        const libSysTopo::cpu::x86_cpu_core& core = cpu.getCore(j);
        texts.cores.emplace_back(qel::SprintfFormat("Core %u", core.getCoreNumber()),
                                 core.getLocation().toString(true));
    }
    return texts;
}

SM_HOT void addCoreDevices(NodePointer& package, ICpuTimeMetrics*& meter,
                           libSysTopo::cpu::x86_physical_cpu& cpu, const PackageTexts& texts) {
    for (unsigned j = 0; j < cpu.getCoreCount(); ++j) {
        const libSysTopo::cpu::x86_cpu_core& core = std::as_const(cpu).getCore(j);
        const auto& [name, key] = texts.cores[j];
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

SM_HOT void ProcessorCollector::collect(NodePointer& root) {
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

    if (texts_.size() != topology_->getCpuCount()) {
        texts_.clear();
        for (unsigned i = 0; i < topology_->getCpuCount(); ++i) {
            texts_.push_back(packageTexts(std::as_const(*topology_)[i]));
        }
    }

    static const qel::String kName("System CPU");
    static const qel::String kKey("SYSCPU");
    NodePointer processors = makeNode(SYSTEM_CPU, kName, kKey);
    root->addChildDevice(processors);
    for (unsigned i = 0; i < topology_->getCpuCount(); ++i) {
        libSysTopo::cpu::x86_physical_cpu& package = (*topology_)[i];
        const PackageTexts& texts = texts_[i];
        NodePointer node = makeNode(CPU_PACKAGE, texts.name, texts.key);
        addIdentificationProperties(node, texts.identification, package);
        addTemperature(node, package.getTemperatureAccessor());
        addSpeedProperties(node, package);
        addUsage(node, meter_, package.getAffinityMask());
        addCoreDevices(node, meter_, package, texts);
        processors->addChildDevice(node);
    }
}

} // namespace systemmonitor
