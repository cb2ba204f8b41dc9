#pragma once
// The usage meter: samples processor time and tells the busy share of a set of processors.

#include "suite/cpu/AffinityMask.h"

namespace libSysTopo::cpu {

class ICpuTimeMetrics {
public:
    virtual ~ICpuTimeMetrics() = default;
    // Samples taken so far.
    virtual unsigned getSampleCount() const = 0;
    // Takes a new sample; the previous one becomes the base of the next usage figures.
    virtual void refresh() = 0;
    // The busy share of `mask`'s processors between the previous sample and the latest one (since
    // boot after the first), as a whole percent. True when `percent` was written; false (and
    // `percent` untouched) before any sample, or when the samples cannot tell.
    virtual bool getPercentUsage(const AffinityMask& mask, unsigned& percent) = 0;
};

} // namespace libSysTopo::cpu
