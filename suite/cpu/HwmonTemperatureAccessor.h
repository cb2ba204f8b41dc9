#pragma once
// Temperature readers over hwmon input files, and their installation on a topology.

#include "platform/KeptFile.h"
#include "suite/cpu/CpuTemperature.h"
#include "suite/cpu/HwmonSensors.h"
#include "suite/cpu/x86_physical_cpus.h"

#include <filesystem>
#include <mutex>

namespace libCpuProbe::cpu {

class HwmonTemperatureAccessor : public libSysTopo::cpu::ICpuTemperatureAccessor {
public:
    HwmonTemperatureAccessor(const std::filesystem::path& input, qel::String driver)
        : input_(input.string(), platform::KeptFile::Reads::Attribute), driver_(std::move(driver)) {
    }

    qel::String getSourceName() const override { return driver_; }
    // Reads the input file now; false when it cannot be read or is below zero.
    bool readTemperature(libSysTopo::cpu::CpuTemperature& temperature) const override;

private:
    mutable std::mutex lock_; // guards the kept input
    mutable platform::KeptFile input_;
    qel::String driver_;
};

// Gives each package its coretemp "Package id" sensor (matched by package id) or else a k10temp
// sensor (k10temp devices shared out over the packages in order), and each core its coretemp
// "Core" sensor (matched by package id and core number). Nodes without a sensor get no reader.
void installHwmonAccessors(libSysTopo::cpu::x86_physical_cpus& topology,
                           const HwmonSensors& sensors);

} // namespace libCpuProbe::cpu
