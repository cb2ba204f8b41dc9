#include "suite/cpu/x86_cpu_location.h"

#include "foundation/SprintfFormat.h"

namespace libSysTopo::cpu {

qel::String x86_cpu_location::toString(bool asKey) const {
    if (!asKey) {
        qel::String text = qel::SprintfFormat("Package %u", package_);
        if (coreNumber_) {
            text += qel::SprintfFormat(" Core %u", *coreNumber_);
        }
        return text;
    }
    qel::String key = qel::SprintfFormat("CPU%u", package_);
    if (coreNumber_) {
        key += qel::SprintfFormat(":Core%u", *coreNumber_);
        if (ordinal_ > 0) {
            key += qel::SprintfFormat("#%u", ordinal_);
        }
    }
    return key;
}

} // namespace libSysTopo::cpu
