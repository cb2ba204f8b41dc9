#include "foundation/Exception.h"

namespace qel {

Exception::Exception(String message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

IndexOutOfBounds::IndexOutOfBounds(int low, int high, int index)
    : Exception(String(("Index " + std::to_string(index) + " out of bounds [" +
                        std::to_string(low) + ", " + std::to_string(high) + "]")
                           .c_str())),
      low_(low), high_(high), index_(index) {}

} // namespace qel
