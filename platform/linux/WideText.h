#pragma once
// UTF-8 (what Linux names things in) to and from UTF-16 (what the Win32 calls answer in).

#include <string>
#include <string_view>

namespace platform {

// Malformed UTF-8 becomes U+FFFD, one per bad byte; never fails.
std::u16string utf8ToUtf16(std::string_view text);

// Unpaired surrogates become U+FFFD; never fails.
std::string utf16ToUtf8(std::u16string_view text);

// The zero-terminated text at `text`; empty for a null pointer.
std::u16string_view wideView(const char16_t* text);

// ASCII-only case folding, as Windows compares device names and paths.
char16_t asciiUpper(char16_t c);
bool equalsNoCase(std::u16string_view a, std::u16string_view b);
bool startsWithNoCase(std::u16string_view text, std::u16string_view prefix);

} // namespace platform
