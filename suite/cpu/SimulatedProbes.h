#pragma once
// Temperature readers and the usage meter of a simulated machine. They read the current
// backend's facts on every call, so a machine's steps can change the figures.

#include "platform/ProcessorFacts.h"
#include "suite/cpu/CpuTemperature.h"
#include "suite/cpu/ICpuTimeMetrics.h"
#include "suite/cpu/ProcessorLayout.h"

#include <cstddef>
#include <optional>
#include <unordered_map>
#include <vector>

namespace libCpuProbe::cpu {

// The temperature of package `package` (or of its core `core`) in the current facts. A reading
// that the facts mark as failing, a negative one, or a node the facts no longer have reads as a
// failure.
class SimulatedTemperatureAccessor : public libSysTopo::cpu::ICpuTemperatureAccessor {
public:
    SimulatedTemperatureAccessor(unsigned package, std::optional<unsigned> core)
        : package_(package), core_(core) {}
    qel::String getSourceName() const override { return "simulated"; }
    bool readTemperature(libSysTopo::cpu::CpuTemperature& temperature) const override;

private:
    unsigned package_;
    std::optional<unsigned> core_;
};

// The temperature fact of a package or core, or null when the facts have no such node.
const platform::TemperatureFact* simulatedTemperature(const platform::ProcessorFacts& facts,
                                                      unsigned package,
                                                      std::optional<unsigned> core);

// Tells nodes apart by the masks of the layout the facts had when the meter was made (as the
// topology made from them has), and reads their usage from the current facts.
class SimulatedCpuTimeMetrics : public libSysTopo::cpu::ICpuTimeMetrics {
public:
    explicit SimulatedCpuTimeMetrics(const std::vector<libSysTopo::cpu::PackageLayout>& layout);

    unsigned getSampleCount() const override { return samples_; }
    void refresh() override { ++samples_; }
    bool getPercentUsage(const libSysTopo::cpu::AffinityMask& mask, unsigned& percent) override;

private:
    // A node of the layout: its package and, for a core, the core's index.
    struct Node {
        std::size_t package = 0;
        std::optional<std::size_t> core;
    };
    struct MaskHash {
        std::size_t operator()(const std::vector<unsigned>& processors) const;
    };
    // Looked up by mask in a hash table, so a query costs the length of its mask, however many
    // nodes the layout has.
    std::unordered_map<std::vector<unsigned>, Node, MaskHash> nodes_;
    unsigned samples_ = 0;
};

} // namespace libCpuProbe::cpu
