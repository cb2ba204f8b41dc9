#include "platform/BufferAnswer.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

void setReturned(DWORD* returned, std::size_t bytes) {
    if (returned != nullptr) {
        *returned = static_cast<DWORD>(bytes);
    }
}

} // namespace

DWORD answerFixed(const void* answer, std::size_t size, void* out, DWORD outSize, DWORD* returned) {
    if (out == nullptr || outSize < size) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(out, answer, size);
    setReturned(returned, size);
    return 0;
}

DWORD answerDescriptor(std::span<const std::uint8_t> descriptor, void* out, DWORD outSize,
                       DWORD* returned) {
    if (out == nullptr || outSize < 2 * sizeof(DWORD)) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    const std::size_t n = std::min<std::size_t>(outSize, descriptor.size());
    std::memcpy(out, descriptor.data(), n);
    setReturned(returned, n);
    return 0;
}

DWORD answerWithRequiredSize(const void* answer, std::size_t units, std::size_t unit, void* buffer,
                             DWORD size, DWORD* required) {
    if (buffer == nullptr && size != 0) {
        return kErrorInvalidUserBuffer;
    }
    if (required != nullptr) {
        *required = static_cast<DWORD>(units);
    }
    if (size < units) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (units > 0) {
        std::memcpy(buffer, answer, units * unit);
    }
    return 0;
}

DWORD answerTruncated(std::u16string_view text, char16_t* buffer, DWORD size, DWORD& error) {
    error = ERROR_INSUFFICIENT_BUFFER;
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    if (size <= text.size()) {
        std::copy_n(text.begin(), size - 1, buffer);
        buffer[size - 1] = 0;
        return size;
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    error = 0;
    return static_cast<DWORD>(text.size());
}

} // namespace platform
