#pragma once
// Wide-text helpers of the emulating backends; the UTF-8 conversions come with them.

#include "platform/Utf.h"

#include <string>
#include <string_view>

namespace platform {

// The zero-terminated text at `text`; empty for a null pointer.
std::u16string_view wideView(const char16_t* text);

// ASCII-only case folding, as Windows compares device names and paths.
char16_t asciiUpper(char16_t c);
bool equalsNoCase(std::u16string_view a, std::u16string_view b);
bool startsWithNoCase(std::u16string_view text, std::u16string_view prefix);

} // namespace platform
