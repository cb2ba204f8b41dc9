#include "devicetree/json/SnapshotJson.h"

#include "devicetree/SysInfoDevice.h"
#include "platform/Utf.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace systemmonitor::json {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of a well-formed UTF-8 sequence at `at`, or 0 when it is malformed. `bad` is then
// the offset of the first byte that broke it (0: the lead byte itself).
std::size_t sequenceLength(std::string_view text, std::size_t at, std::size_t& bad) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
    } else {
        bad = 0;
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (at + i >= text.size() || byte(at + i) < low || byte(at + i) > high) {
            bad = i;
            return 0;
        }
        low = 0x80;
        high = 0xBF;
    }
    return length;
}

// One character of a JSON string, as the UTF-8 writer above escapes it.
void appendEscaped(std::string& out, unsigned char c) {
    static constexpr char kHex[] = "0123456789abcdef";
    if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
    } else if (c == '\b') {
        out += "\\b";
    } else if (c == '\f') {
        out += "\\f";
    } else if (c == '\n') {
        out += "\\n";
    } else if (c == '\r') {
        out += "\\r";
    } else if (c == '\t') {
        out += "\\t";
    } else if (c < 0x20) {
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    } else {
        out += static_cast<char>(c);
    }
}

// The code point at `at` and the units it takes; an unpaired surrogate as U+FFFD.
char32_t codePoint(std::u16string_view text, std::size_t& at) {
    char32_t c = text[at++];
    if (c >= 0xD800 && c <= 0xDBFF && at < text.size() && text[at] >= 0xDC00 &&
        text[at] <= 0xDFFF) {
        return 0x10000 + ((c - 0xD800) << 10) + (text[at++] - 0xDC00);
    }
    return c >= 0xD800 && c <= 0xDFFF ? 0xFFFD : c;
}

// The integer a property's text holds, as integerValue reads it, without a copy of the text.
std::int64_t parseInteger(std::u16string_view text) {
    char narrow[32];
    if (text.size() > sizeof narrow) {
        std::int64_t value = 0;
        const std::string copy = qel::String(std::u16string(text)).toUtf8();
        std::from_chars(copy.data(), copy.data() + copy.size(), value);
        return value;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        narrow[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    }
    std::int64_t value = 0;
    std::from_chars(narrow, narrow + text.size(), value);
    return value;
}

void appendInteger(std::string& out, std::int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void appendProperty(std::string& out, const Property& property) {
    out += "{\"key\":";
    appendString(out, property.getKey().u16());
    out += ",\"type\":\"";
    const ValueType type = property.getValueType();
    out += valueTypeName(type);
    out += "\",\"value\":";
    switch (type) {
    case STRING:
        appendString(out, property.getValue().u16());
        break;
    case INTEGER:
        appendInteger(out, parseInteger(property.getValue().u16()));
        break;
    case DOUBLE:
        appendReal(out, realValue(property));
        break;
    }
    out += '}';
}

void appendNode(std::string& out, const Device& node) {
    out += "{\"type\":\"";
    out += deviceTypeName(node.getType());
    out += "\",\"name\":";
    appendString(out, node.getLocalizedName().u16());
    out += ",\"key\":";
    appendString(out, node.getKey().u16());
    out += ",\"properties\":[";
    bool first = true;
    for (const auto& property : node.getProperties()) {
        if (!first) {
            out += ',';
        }
        first = false;
        appendProperty(out, *property);
    }
    out += "],\"children\":[";
    first = true;
    for (const auto& child : node.getChildDevices()) {
        if (!first) {
            out += ',';
        }
        first = false;
        appendNode(out, *child);
    }
    out += "]}";
}

} // namespace

void appendString(std::string& out, std::string_view utf8) {
    out += '"';
    std::size_t at = 0;
    while (at < utf8.size()) {
        std::size_t bad = 0;
        const std::size_t length = sequenceLength(utf8, at, bad);
        if (length == 0) {
            // One replacement per broken sequence; the byte that broke it starts the next one.
            out += kReplacement;
            at += bad == 0 ? 1 : bad;
            continue;
        }
        if (length > 1) {
            out.append(utf8.substr(at, length));
        } else {
            appendEscaped(out, static_cast<unsigned char>(utf8[at]));
        }
        at += length;
    }
    out += '"';
}

void appendString(std::string& out, std::u16string_view utf16) {
    // Written in place: at most six bytes a unit ("\\u001f"), the quotes, then cut to size.
    const std::size_t start = out.size();
    out.resize(start + utf16.size() * 6 + 2);
    char* to = out.data() + start;
    *to++ = '"';
    for (std::size_t at = 0; at < utf16.size();) {
        const char16_t unit = utf16[at];
        if (unit >= 0x20 && unit < 0x80 && unit != '"' && unit != '\\') {
            *to++ = static_cast<char>(unit);
            ++at;
            continue;
        }
        const char32_t c = codePoint(utf16, at);
        std::string piece;
        if (c < 0x80) {
            appendEscaped(piece, static_cast<unsigned char>(c));
        } else {
            platform::appendUtf8(piece, c);
        }
        to = std::copy(piece.begin(), piece.end(), to);
    }
    *to++ = '"';
    out.resize(static_cast<std::size_t>(to - out.data()));
}

void appendUtf8(std::string& out, std::u16string_view utf16) {
    for (std::size_t at = 0; at < utf16.size();) {
        platform::appendUtf8(out, codePoint(utf16, at));
    }
}

void appendReal(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    if (std::signbit(value)) {
        out += '-';
        value = -value;
    }
    if (value == 0.0) {
        out += "0.0";
        return;
    }
    // The shortest digits that read back, then the layout: digits with ".0", a decimal point,
    // "0.000ddd", or d.ddde+XX (at least two exponent digits), by where the point falls.
    char scientific[32];
    const auto result = std::to_chars(scientific, scientific + sizeof scientific, value,
                                      std::chars_format::scientific);
    const std::string_view text(scientific, static_cast<std::size_t>(result.ptr - scientific));
    const std::size_t e = text.find('e');
    // The significant digits without the point after the first one.
    char buffer[32];
    std::size_t count = 0;
    for (std::size_t i = 0; i < e; ++i) {
        if (text[i] != '.') {
            buffer[count++] = text[i];
        }
    }
    const std::string_view digits(buffer, count);
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(),
                    exponent);
    const int k = static_cast<int>(digits.size());
    const int n = exponent + 1; // the point's position after the first n digits
    constexpr int kMaxExp = 15;
    constexpr int kMinExp = -4;
    if (k <= n && n <= kMaxExp) {
        out += digits;
        out.append(static_cast<std::size_t>(n - k), '0');
        out += ".0";
    } else if (0 < n && n <= kMaxExp) {
        out += digits.substr(0, static_cast<std::size_t>(n));
        out += '.';
        out += digits.substr(static_cast<std::size_t>(n));
    } else if (kMinExp < n && n <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-n), '0');
        out += digits;
    } else {
        out += digits[0];
        if (k > 1) {
            out += '.';
            out += digits.substr(1);
        }
        out += exponent < 0 ? "e-" : "e+";
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) {
            out += '0';
        }
        appendInteger(out, magnitude);
    }
}

std::int64_t integerValue(const Property& property) {
    return parseInteger(property.getValue().u16());
}

double realValue(const Property& property) {
    // The real itself when the property keeps one: its text may be rounded.
    if (const auto* real = dynamic_cast<const sisapi::SysInfoProperty*>(&property)) {
        return real->getRealValue();
    }
    const std::string text = property.getValue().toUtf8();
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

void appendSnapshotJson(std::string& out, const Device& root) {
    appendNode(out, root);
}

std::string snapshotJson(const Device& root) {
    std::string out;
    appendNode(out, root);
    return out;
}

} // namespace systemmonitor::json
