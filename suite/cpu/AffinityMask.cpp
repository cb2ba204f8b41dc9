#include "suite/cpu/AffinityMask.h"

#include "platform/Hot.h"

#include <algorithm>

namespace libSysTopo::cpu {

AffinityMask::AffinityMask(std::vector<unsigned> processors) : processors_(std::move(processors)) {
    std::sort(processors_.begin(), processors_.end());
    processors_.erase(std::unique(processors_.begin(), processors_.end()), processors_.end());
}

SM_HOT bool AffinityMask::contains(unsigned processor) const {
    return std::binary_search(processors_.begin(), processors_.end(), processor);
}

} // namespace libSysTopo::cpu
