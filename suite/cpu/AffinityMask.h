#pragma once
// A set of logical processors. Processors are numbered across processor groups: on Windows,
// processor n is bit n % 64 of group n / 64, so machines with more than 64 of them fit.

#include <vector>

namespace libSysTopo::cpu {

class AffinityMask {
public:
    static constexpr unsigned kGroupSize = 64;

    AffinityMask() = default;
    // Any order, duplicates allowed: the mask keeps them sorted and unique.
    explicit AffinityMask(std::vector<unsigned> processors);

    const std::vector<unsigned>& getProcessors() const { return processors_; }
    bool isEmpty() const { return processors_.empty(); }
    unsigned getCount() const { return static_cast<unsigned>(processors_.size()); }
    bool contains(unsigned processor) const;

    friend bool operator==(const AffinityMask&, const AffinityMask&) = default;

private:
    std::vector<unsigned> processors_;
};

} // namespace libSysTopo::cpu
