#pragma once
// printf-style formatting into a qel::String, type-safe: the arguments travel as tagged values,
// so a conversion that does not match its argument is formatted sensibly, never undefined.
// Supported: %d %i %u %x %X %o %c %s %f %% with flags (- 0 + blank #), width and precision
// (also '*'); length modifiers (h, hh, l, ll, z, j, t) are accepted and ignored.

#include "foundation/String.h"

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace qel {

class FormatArg {
public:
    enum class Kind { Signed, Unsigned, Character, Text, Real };

    template <std::integral T> FormatArg(T value) {
        if constexpr (std::is_same_v<T, bool>) {
            kind_ = Kind::Unsigned;
            unsigned_ = value ? 1 : 0;
            width_ = 4;
        } else if constexpr (std::is_same_v<T, char> || std::is_same_v<T, char16_t> ||
                             std::is_same_v<T, char8_t> || std::is_same_v<T, wchar_t> ||
                             std::is_same_v<T, char32_t>) {
            kind_ = Kind::Character;
            unsigned_ = static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<T>>(value));
            width_ = sizeof(T);
        } else if constexpr (std::is_signed_v<T>) {
            kind_ = Kind::Signed;
            signed_ = value;
            width_ = sizeof(T);
        } else {
            kind_ = Kind::Unsigned;
            unsigned_ = value;
            width_ = sizeof(T);
        }
    }
    FormatArg(double value) : kind_(Kind::Real), real_(value) {}
    FormatArg(const char* text) : kind_(Kind::Text), text_(String(text)) {}
    FormatArg(const char16_t* text) : kind_(Kind::Text), text_(String(text)) {}
    FormatArg(const std::string& text) : kind_(Kind::Text), text_(String(text.c_str())) {}
    FormatArg(const String& text) : kind_(Kind::Text), text_(text) {}

    Kind kind() const { return kind_; }
    std::int64_t asSigned() const;    // as printf's %d would read it
    std::uint64_t asUnsigned() const; // as printf's %u would read it
    double asReal() const;
    const String& text() const { return text_; }

private:
    Kind kind_ = Kind::Signed;
    std::int64_t signed_ = 0;
    std::uint64_t unsigned_ = 0;
    double real_ = 0.0;
    std::size_t width_ = 4;
    String text_;
};

String formatArgs(std::u16string_view format, std::initializer_list<FormatArg> args);

template <typename... Args> String SprintfFormat(const char* format, const Args&... args) {
    const String wide(format);
    return formatArgs(wide.u16(), {FormatArg(args)...});
}

template <typename... Args> String SprintfFormat(const char16_t* format, const Args&... args) {
    return formatArgs(format == nullptr ? u"" : format, {FormatArg(args)...});
}

} // namespace qel
