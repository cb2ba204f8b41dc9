#include "suite/cpu/HwmonTemperatureAccessor.h"

namespace libCpuProbe::cpu {

bool HwmonTemperatureAccessor::readTemperature(libSysTopo::cpu::CpuTemperature& temperature) const {
    std::optional<int> millidegrees;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        if (const auto text = input_.read()) {
            millidegrees = parseMillidegrees(*text);
        }
    }
    if (!millidegrees || *millidegrees < 0) {
        return false;
    }
    temperature.setCelsius(*millidegrees / 1000.0);
    return true;
}

void installHwmonAccessors(libSysTopo::cpu::x86_physical_cpus& topology,
                           const HwmonSensors& sensors) {
    const unsigned packages = topology.getCpuCount();
    for (unsigned p = 0; p < packages; ++p) {
        libSysTopo::cpu::x86_physical_cpu& package = topology[p];
        const unsigned id = package.getPackageId();
        std::unique_ptr<libSysTopo::cpu::ICpuTemperatureAccessor> reader;
        if (const auto found = sensors.packages.find(id); found != sensors.packages.end()) {
            reader = std::make_unique<HwmonTemperatureAccessor>(found->second, "coretemp");
        } else if (!sensors.k10temp.empty()) {
            // Zen 1 has one device per die, later ones one per package: share them out in order.
            const std::size_t device =
                static_cast<std::size_t>(p) * sensors.k10temp.size() / packages;
            reader = std::make_unique<HwmonTemperatureAccessor>(sensors.k10temp[device], "k10temp");
        }
        package.get().setTemperatureAccessor(std::move(reader));

        for (unsigned c = 0; c < package.getCoreCount(); ++c) {
            libSysTopo::cpu::x86_cpu_core& core = package.getCore(c);
            std::unique_ptr<libSysTopo::cpu::ICpuTemperatureAccessor> coreReader;
            const auto found = sensors.cores.find({id, core.getCoreNumber()});
            if (found != sensors.cores.end()) {
                coreReader = std::make_unique<HwmonTemperatureAccessor>(found->second, "coretemp");
            }
            core.get().setTemperatureAccessor(std::move(coreReader));
        }
    }
}

} // namespace libCpuProbe::cpu
