#pragma once
// Bytes in use on the C runtime's heap, which the DLL and its host share (both allocate through
// msvcrt): a block allocated on one side and freed on the other shows up here if it leaks.

#include "platform/Win32.h"

#include <malloc.h>

#include <cstddef>
#include <cstdint>

namespace smoke {

inline std::size_t crtHeapBytesInUse() {
    HANDLE heap = reinterpret_cast<HANDLE>(_get_heap_handle());
    PROCESS_HEAP_ENTRY entry{};
    std::size_t total = 0;
    ::HeapLock(heap);
    while (::HeapWalk(heap, &entry) != FALSE) {
        if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
            total += entry.cbData;
        }
    }
    ::HeapUnlock(heap);
    return total;
}

// How much the heap grew over `rounds` runs of `body`, after one run that may allocate for good
// (first-use objects, buffers).
template <typename Body> std::ptrdiff_t heapGrowth(int rounds, Body body) {
    body();
    const std::size_t before = crtHeapBytesInUse();
    for (int i = 0; i < rounds; ++i) {
        body();
    }
    return static_cast<std::ptrdiff_t>(crtHeapBytesInUse()) - static_cast<std::ptrdiff_t>(before);
}

// Texts long enough to live on the heap rather than inside the string object.
inline constexpr const char* kLongText = "a text long enough to need a block of the heap";

} // namespace smoke
