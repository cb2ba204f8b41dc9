#pragma once
// Win32's ways of handing an answer to a caller's buffer, written once for every backend. Each
// returns 0 when the answer was copied, else the error the call fails with.

#include "platform/Win32.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

inline constexpr DWORD kErrorInvalidUserBuffer = 1784;

// A fixed-size structure (device number, geometry, length): all of it or ERROR_INSUFFICIENT_BUFFER.
DWORD answerFixed(const void* answer, std::size_t size, void* out, DWORD outSize, DWORD* returned);

// A descriptor of the property queries: at least its 8-byte header (Version, Size), then as much
// as the buffer holds; Size still tells the full length.
DWORD answerDescriptor(std::span<const std::uint8_t> descriptor, void* out, DWORD outSize,
                       DWORD* returned);

// SetupAPI's required-size protocol, in units of `unit` bytes: a null buffer with a size is
// ERROR_INVALID_USER_BUFFER; else the size the answer needs goes to `required` (when asked) and a
// smaller buffer fails with ERROR_INSUFFICIENT_BUFFER.
DWORD answerWithRequiredSize(const void* answer, std::size_t units, std::size_t unit, void* buffer,
                             DWORD size, DWORD* required);

// GetModuleFileNameW: the text and its zero when they fit (the length is returned, `error` 0: the
// last error is left alone); else cut to the buffer, terminated, the buffer's size returned and
// ERROR_INSUFFICIENT_BUFFER in `error`; 0 for no buffer at all.
DWORD answerTruncated(std::u16string_view text, char16_t* buffer, DWORD size, DWORD& error);

} // namespace platform
