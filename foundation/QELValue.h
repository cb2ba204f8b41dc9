#pragma once

#include "foundation/String.h"

#include <cstdint>

namespace qel {

// A value that can be absent ("nil"), shown as text.
class QELValue {
public:
    QELValue() = default;
    explicit QELValue(std::uint32_t value) : value_(value), nil_(false) {}

    bool isNil() const { return nil_; }
    // The decimal text, or `nilValue` for an absent value.
    String toString(const String& nilValue = String()) const;

private:
    std::uint32_t value_ = 0;
    bool nil_ = true;
};

} // namespace qel
