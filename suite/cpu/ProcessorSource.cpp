#include "suite/cpu/ProcessorSource.h"

#include "suite/cpu/SimulatedProcessorSource.h"

namespace libSysTopo::cpu {

std::unique_ptr<ProcessorSource> makeProcessorSource() {
    if (currentProcessorFacts() != nullptr) {
        return std::make_unique<SimulatedProcessorSource>();
    }
    return makeLiveProcessorSource();
}

} // namespace libSysTopo::cpu
