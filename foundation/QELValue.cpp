#include "foundation/QELValue.h"

#include <string>

namespace qel {

String QELValue::toString(const String& nilValue) const {
    if (nil_) {
        return nilValue;
    }
    return String(std::to_string(value_).c_str());
}

} // namespace qel
