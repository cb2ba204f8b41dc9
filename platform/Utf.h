#pragma once
// UTF-8 and UTF-16: Linux and the machine files name things in UTF-8; Win32 and the system's own
// text are UTF-16.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Malformed UTF-8 (bad or truncated sequences, overlong forms, surrogate code points, values
// above U+10FFFF) becomes U+FFFD, one per bad byte; never fails.
std::u16string utf8ToUtf16(std::string_view text);

// The same, for input that must be well-formed: nullopt at the first malformed sequence.
std::optional<std::u16string> utf8ToUtf16Strict(std::string_view text);

// Unpaired surrogates become U+FFFD; never fails.
std::string utf16ToUtf8(std::u16string_view text);

// Appends one code point (at most U+10FFFF) in UTF-8.
void appendUtf8(std::string& out, char32_t c);

} // namespace platform
