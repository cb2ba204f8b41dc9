#include "foundation/SprintfFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace qel {

std::int64_t FormatArg::asSigned() const {
    switch (kind_) {
    case Kind::Signed:
        return signed_;
    case Kind::Unsigned:
    case Kind::Character:
        // printf reads an unsigned int as int: values of 32 bits or less wrap.
        return width_ <= 4 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(unsigned_))
                           : static_cast<std::int64_t>(unsigned_);
    case Kind::Real:
        if (!std::isfinite(real_) || real_ >= 9.2e18 || real_ <= -9.2e18) {
            return 0;
        }
        return static_cast<std::int64_t>(real_);
    case Kind::Text:
        return 0;
    }
    return 0;
}

std::uint64_t FormatArg::asUnsigned() const {
    switch (kind_) {
    case Kind::Signed:
        // printf reads a negative int as its unsigned 32-bit pattern.
        return width_ <= 4 ? static_cast<std::uint32_t>(static_cast<std::int32_t>(signed_))
                           : static_cast<std::uint64_t>(signed_);
    case Kind::Unsigned:
    case Kind::Character:
        return unsigned_;
    case Kind::Real:
        if (!std::isfinite(real_) || real_ < 0 || real_ >= 1.8e19) {
            return 0;
        }
        return static_cast<std::uint64_t>(real_);
    case Kind::Text:
        return 0;
    }
    return 0;
}

double FormatArg::asReal() const {
    switch (kind_) {
    case Kind::Signed:
        return static_cast<double>(signed_);
    case Kind::Unsigned:
    case Kind::Character:
        return static_cast<double>(unsigned_);
    case Kind::Real:
        return real_;
    case Kind::Text:
        return 0.0;
    }
    return 0.0;
}

namespace {

struct Directive {
    bool left = false;
    bool zero = false;
    bool plus = false;
    bool blank = false;
    bool alternate = false;
    int width = 0;
    int precision = -1;
    char16_t conversion = 0;
};

std::u16string ascii(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

// `zeroPad`: the '0' flag applies (numbers only, and for integers only without a precision).
void pad(std::u16string& out, const Directive& directive, std::u16string prefix,
         std::u16string body, bool zeroPad) {
    const std::size_t length = prefix.size() + body.size();
    const std::size_t width = directive.width > 0 ? static_cast<std::size_t>(directive.width) : 0;
    if (length >= width) {
        out += prefix + body;
    } else if (directive.left) {
        out += prefix + body + std::u16string(width - length, u' ');
    } else if (directive.zero && zeroPad) {
        out += prefix + std::u16string(width - length, u'0') + body;
    } else {
        out += std::u16string(width - length, u' ') + prefix + body;
    }
}

std::string digits(std::uint64_t value, int base, bool upper) {
    char buffer[32];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, base);
    std::string text(buffer, end);
    if (upper) {
        for (char& c : text) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 32);
            }
        }
    }
    return text;
}

void formatInteger(std::u16string& out, const Directive& directive, const FormatArg& arg) {
    std::u16string prefix;
    std::string body;
    const char16_t c = directive.conversion;
    if (c == u'd' || c == u'i') {
        const std::int64_t value = arg.asSigned();
        const std::uint64_t magnitude = value < 0 ? static_cast<std::uint64_t>(-(value + 1)) + 1
                                                  : static_cast<std::uint64_t>(value);
        if (value < 0) {
            prefix = u"-";
        } else if (directive.plus) {
            prefix = u"+";
        } else if (directive.blank) {
            prefix = u" ";
        }
        body = digits(magnitude, 10, false);
    } else {
        const std::uint64_t value = arg.asUnsigned();
        const int base = (c == u'x' || c == u'X') ? 16 : (c == u'o' ? 8 : 10);
        body = digits(value, base, c == u'X');
        if (directive.alternate && value != 0 && base == 16) {
            prefix = c == u'X' ? u"0X" : u"0x";
        }
    }
    if (directive.precision >= 0) {
        if (directive.precision == 0 && body == "0") {
            body.clear();
        } else if (body.size() < static_cast<std::size_t>(directive.precision)) {
            body.insert(0, static_cast<std::size_t>(directive.precision) - body.size(), '0');
        }
    }
    // '#' with octal guarantees one leading zero, after the precision has had its say.
    if (directive.alternate && c == u'o' && (body.empty() || body[0] != '0')) {
        body.insert(0, 1, '0');
    }
    pad(out, directive, prefix, ascii(body), directive.precision < 0);
}

void formatReal(std::u16string& out, const Directive& directive, double value) {
    std::u16string prefix;
    if (std::signbit(value) && !std::isnan(value)) {
        prefix = u"-";
        value = -value;
    } else if (directive.plus) {
        prefix = u"+";
    } else if (directive.blank) {
        prefix = u" ";
    }
    std::string body;
    if (std::isnan(value)) {
        body = "nan";
    } else if (std::isinf(value)) {
        body = "inf";
    } else {
        char buffer[400];
        const int precision = directive.precision < 0 ? 6 : std::min(directive.precision, 60);
        auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                          std::chars_format::fixed, precision);
        body.assign(buffer, error == std::errc{} ? end : buffer);
        if (directive.alternate && precision == 0) {
            body += '.';
        }
    }
    pad(out, directive, prefix, ascii(body), std::isfinite(value));
}

} // namespace

String formatArgs(std::u16string_view format, std::initializer_list<FormatArg> args) {
    std::u16string out;
    const FormatArg* next = args.begin();
    const FormatArg* const last = args.end();
    std::size_t i = 0;
    while (i < format.size()) {
        const char16_t c = format[i];
        if (c != u'%') {
            out += c;
            ++i;
            continue;
        }
        const std::size_t start = i++;
        Directive directive;
        for (; i < format.size(); ++i) {
            const char16_t f = format[i];
            if (f == u'-') {
                directive.left = true;
            } else if (f == u'0') {
                directive.zero = true;
            } else if (f == u'+') {
                directive.plus = true;
            } else if (f == u' ') {
                directive.blank = true;
            } else if (f == u'#') {
                directive.alternate = true;
            } else {
                break;
            }
        }
        auto readNumber = [&](int& target) {
            if (i < format.size() && format[i] == u'*') {
                ++i;
                if (next != last) {
                    const std::int64_t value = (next++)->asSigned();
                    target = static_cast<int>(std::clamp<std::int64_t>(value, -4096, 4096));
                }
                return;
            }
            int value = 0;
            while (i < format.size() && format[i] >= u'0' && format[i] <= u'9') {
                value = std::min(value * 10 + (format[i] - u'0'), 4096);
                ++i;
            }
            target = value;
        };
        readNumber(directive.width);
        if (directive.width < 0) {
            directive.left = true;
            directive.width = -directive.width;
        }
        if (i < format.size() && format[i] == u'.') {
            ++i;
            readNumber(directive.precision);
            if (directive.precision < 0) {
                directive.precision = -1;
            }
        }
        while (i < format.size() && (format[i] == u'h' || format[i] == u'l' || format[i] == u'z' ||
                                     format[i] == u'j' || format[i] == u't' || format[i] == u'L')) {
            ++i;
        }
        if (i >= format.size()) {
            out += format.substr(start);
            break;
        }
        directive.conversion = format[i++];
        if (directive.conversion == u'%') {
            out += u'%';
            continue;
        }
        const bool known = std::u16string_view(u"diuxXocsf").find(directive.conversion) !=
                           std::u16string_view::npos;
        if (!known || next == last) {
            // An unknown conversion, or one without an argument, stands as written.
            out += format.substr(start, i - start);
            continue;
        }
        const FormatArg& arg = *next++;
        switch (directive.conversion) {
        case u'c': {
            std::u16string body;
            if (arg.kind() == FormatArg::Kind::Text) {
                body = arg.text().u16().substr(0, 1);
            } else {
                body = std::u16string(1, static_cast<char16_t>(arg.asUnsigned() & 0xFFFF));
            }
            pad(out, directive, u"", body, false);
            break;
        }
        case u's': {
            std::u16string body;
            if (arg.kind() == FormatArg::Kind::Text) {
                body = arg.text().u16();
            } else if (arg.kind() == FormatArg::Kind::Character) {
                body = std::u16string(1, static_cast<char16_t>(arg.asUnsigned() & 0xFFFF));
            } else if (arg.kind() == FormatArg::Kind::Real) {
                Directive real;
                formatReal(body, real, arg.asReal());
            } else {
                Directive number;
                number.conversion = arg.kind() == FormatArg::Kind::Signed ? u'd' : u'u';
                formatInteger(body, number, arg);
            }
            if (directive.precision >= 0 &&
                body.size() > static_cast<std::size_t>(directive.precision)) {
                body.resize(static_cast<std::size_t>(directive.precision));
            }
            pad(out, directive, u"", body, false);
            break;
        }
        case u'f':
            formatReal(out, directive, arg.asReal());
            break;
        default:
            if (arg.kind() == FormatArg::Kind::Text) {
                pad(out, directive, u"", arg.text().u16(), false);
            } else if (arg.kind() == FormatArg::Kind::Real) {
                formatReal(out, directive, arg.asReal());
            } else {
                formatInteger(out, directive, arg);
            }
            break;
        }
    }
    return String(std::move(out));
}

} // namespace qel
