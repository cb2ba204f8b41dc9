#pragma once
// Busy and idle time of logical processors, and the busy share between two readings. The same
// arithmetic serves /proc/stat ticks and Windows' 100-nanosecond processor times.

#include "platform/Hot.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace libCpuProbe::cpu {

// Time one logical processor has spent busy and idle since boot, in the source's own unit.
struct CpuTimes {
    std::uint64_t busy = 0;
    std::uint64_t idle = 0;
};

// Windows' processor times (100 ns units): kernel time includes idle time. A kernel time below
// the idle time (counters read at slightly different moments) counts as no kernel busy time.
CpuTimes timesFromKernelUser(std::uint64_t idle, std::uint64_t kernel, std::uint64_t user);

// One reading of every online logical processor's counters, by processor number: a vector
// sorted by number (the order /proc/stat and Windows list them in); a reading that reuses an
// earlier one's storage allocates nothing.
class CpuTimeSample {
    template <typename Entries> static auto lowerBound(Entries& entries, unsigned cpu) {
        return std::lower_bound(entries.begin(), entries.end(), cpu,
                                [](const auto& entry, unsigned key) { return entry.first < key; });
    }

public:
    using value_type = std::pair<unsigned, CpuTimes>;
    using const_iterator = std::vector<value_type>::const_iterator;

    CpuTimeSample() = default;
    CpuTimeSample(std::initializer_list<value_type> entries) {
        for (const value_type& entry : entries) {
            (*this)[entry.first] = entry.second;
        }
    }

    // The processor's times, added (zero) when absent.
    SM_HOT CpuTimes& operator[](unsigned cpu) {
        if (entries_.empty() || entries_.back().first < cpu) {
            return entries_.emplace_back(cpu, CpuTimes{}).second;
        }
        const auto at = lowerBound(entries_, cpu);
        if (at != entries_.end() && at->first == cpu) {
            return at->second;
        }
        return entries_.emplace(at, cpu, CpuTimes{})->second;
    }
    const_iterator find(unsigned cpu) const {
        const auto at = lowerBound(entries_, cpu);
        return at != entries_.end() && at->first == cpu ? at : end();
    }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    void reserve(std::size_t count) { entries_.reserve(count); }
    void clear() { entries_.clear(); }

private:
    std::vector<value_type> entries_;
};

// The busy share of the processors `cpus` between two readings: busy time over busy plus idle
// time, summed over the processors, as a whole percent rounded to nearest. nullopt when `cpus`
// is empty, a processor is missing from either reading, a processor's busy or idle time went
// backwards (a counter reset or a processor brought back online), or no time passed at all.
std::optional<unsigned> busyPercent(const CpuTimeSample& before, const CpuTimeSample& after,
                                    std::span<const unsigned> cpus);

// The same since boot: as if the earlier reading were all zeros.
std::optional<unsigned> busyPercentSinceBoot(const CpuTimeSample& after,
                                             std::span<const unsigned> cpus);

} // namespace libCpuProbe::cpu
