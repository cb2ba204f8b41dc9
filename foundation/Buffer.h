#pragma once

#include <cstdint>
#include <cstring>

namespace qel {

// An owned block of bytes.
template <typename T> class Buffer {
public:
    // `length` elements, cleared when `zeroFill` is set; a length of 0 allocates nothing.
    Buffer(std::uint64_t length, bool zeroFill) : length(length) {
        if (length != 0) {
            block = new T[length];
            data = block;
            if (zeroFill) {
                std::memset(block, 0, length * sizeof(T));
            }
        }
    }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() { delete[] block; }

    T* data = nullptr;
    T* block = nullptr;
    std::uint64_t length = 0;
};

} // namespace qel
