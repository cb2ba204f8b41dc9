#include "foundation/Stopwatch.h"

#include "platform/Hot.h"
#include "platform/Win32.h"

namespace qel {

Stopwatch::Stopwatch() : start_(win32::monotonicSeconds()) {}

void Stopwatch::reset() {
    start_ = win32::monotonicSeconds();
}

SM_HOT double Stopwatch::getElapsed() const {
    return win32::monotonicSeconds() - start_;
}

} // namespace qel
