#pragma once
// Where a package or core sits in the topology: the package's index, and for a core its number
// (as the machine numbers it) with an ordinal that tells apart cores sharing a number.

#include "foundation/String.h"

#include <optional>

namespace libSysTopo::cpu {

class x86_cpu_location {
public:
    // A package.
    explicit x86_cpu_location(unsigned package) : package_(package) {}
    // A core of a package. `ordinal` counts earlier cores of the package with the same number
    // (0 for all but machines whose dies reuse core numbers).
    x86_cpu_location(unsigned package, unsigned coreNumber, unsigned ordinal = 0)
        : package_(package), coreNumber_(coreNumber), ordinal_(ordinal) {}

    unsigned getPackage() const { return package_; }
    bool isCore() const { return coreNumber_.has_value(); }
    // The core number; 0 for a package.
    unsigned getCoreNumber() const { return coreNumber_.value_or(0); }

    // With `asKey`, a text that stays the same for the same place from one snapshot to the next:
    // "CPU0" for a package, "CPU0:Core3" for a core ("CPU0:Core3#1" for a second core numbered
    // 3). Without it, for reading: "Package 0", "Package 0 Core 3".
    qel::String toString(bool asKey) const;

    friend bool operator==(const x86_cpu_location&, const x86_cpu_location&) = default;

private:
    unsigned package_ = 0;
    std::optional<unsigned> coreNumber_;
    unsigned ordinal_ = 0;
};

} // namespace libSysTopo::cpu
