#pragma once
// Hands out the usage meter.

#include "foundation/SharedResource.h"
#include "suite/cpu/CpuTimes.h"
#include "suite/cpu/ICpuTimeMetrics.h"

#include <functional>
#include <memory>
#include <optional>

namespace libCpuProbe::cpu {

class CpuTimeMetrics {
public:
    using Storage = qel::PointerStorage<libSysTopo::cpu::ICpuTimeMetrics, 0, 3>;
    using Accessor = qel::TransferResource<Storage>;

    // A new meter, owned by the caller once released from the handle: over the simulated
    // machine's facts when the current backend states them (empty when they say there is no
    // meter), else over the live machine's processor times (/proc/stat, or Windows' processor
    // performance counters). Empty when the machine offers no processor times.
    static Accessor getAccessor();
};

// A meter over a function that reads every processor's times: the live machines' meters.
class SampledCpuTimeMetrics : public libSysTopo::cpu::ICpuTimeMetrics {
public:
    // Fills the sample (its storage reused from reading to reading); false when the times cannot
    // be read.
    using Sampler = std::function<bool(CpuTimeSample&)>;

    explicit SampledCpuTimeMetrics(Sampler sampler);

    unsigned getSampleCount() const override { return samples_; }
    // A failed reading leaves no usage until the next good one, which is then measured from the
    // last good reading before it.
    void refresh() override;
    bool getPercentUsage(const libSysTopo::cpu::AffinityMask& mask, unsigned& percent) override;

private:
    Sampler sampler_;
    unsigned samples_ = 0;
    // Three samples take turns, so a steady meter allocates nothing.
    CpuTimeSample base_;
    CpuTimeSample latest_;
    CpuTimeSample next_;
    bool haveBase_ = false;
    bool haveLatest_ = false;
    bool fresh_ = false;
};

// The live machine's meter (linux/ or windows/); null when its processor times cannot be read.
std::unique_ptr<libSysTopo::cpu::ICpuTimeMetrics> makeLiveTimeMetrics();

} // namespace libCpuProbe::cpu
