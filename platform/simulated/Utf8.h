#pragma once
// UTF-8 and UTF-16, strictly: the machine files are UTF-8, the system's text is UTF-16.

#include <optional>
#include <string>
#include <string_view>

namespace platform::simulated {

// The UTF-16 form of well-formed UTF-8; nullopt for ill-formed input (bad or truncated
// sequences, overlong forms, surrogate code points, values above U+10FFFF).
std::optional<std::u16string> utf8ToUtf16(std::string_view text);

// The UTF-8 form of UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

} // namespace platform::simulated
