#pragma once
// The shape of the machine's processors as a source finds it: packages in topology order, each
// with its cores in order.

#include "suite/cpu/AffinityMask.h"

#include <vector>

namespace libSysTopo::cpu {

struct CoreLayout {
    // The core's number as the machine numbers it (not necessarily its index).
    unsigned number = 0;
    AffinityMask mask;
};

struct PackageLayout {
    // The machine's own identifier of the package (Linux physical_package_id); the index where the
    // machine has none.
    unsigned id = 0;
    AffinityMask mask;
    std::vector<CoreLayout> cores;
};

} // namespace libSysTopo::cpu
