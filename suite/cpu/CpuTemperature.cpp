#include "suite/cpu/CpuTemperature.h"

#include <cmath>

namespace libSysTopo::cpu {

void CpuTemperature::setCelsius(double celsius) {
    celsius_ = celsius;
    valid_ = true;
}

unsigned CpuTemperature::getIntegerTemperature() const {
    if (!valid_ || !(celsius_ > 0.0)) {
        return 0;
    }
    // Far above any sensor's range; keeps the conversion defined.
    return static_cast<unsigned>(std::lround(std::fmin(celsius_, 1.0e6)));
}

} // namespace libSysTopo::cpu
