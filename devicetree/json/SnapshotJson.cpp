#include "devicetree/json/SnapshotJson.h"

#include "devicetree/SysInfoDevice.h"

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

void appendProperty(std::string& out, const Property& property) {
    out += "{\"key\":";
    appendString(out, property.getKey().toUtf8());
    out += ",\"type\":\"";
    out += valueTypeName(property.getValueType());
    out += "\",\"value\":";
    switch (property.getValueType()) {
    case STRING:
        appendString(out, property.getValue().toUtf8());
        break;
    case INTEGER:
        out += std::to_string(integerValue(property));
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
    appendString(out, node.getLocalizedName().toUtf8());
    out += ",\"key\":";
    appendString(out, node.getKey().toUtf8());
    out += ",\"properties\":[";
    bool first = true;
    for (const auto& property : node.getProperties()) {
        out += first ? "" : ",";
        first = false;
        appendProperty(out, *property);
    }
    out += "],\"children\":[";
    first = true;
    for (const auto& child : node.getChildDevices()) {
        out += first ? "" : ",";
        first = false;
        appendNode(out, *child);
    }
    out += "]}";
}

} // namespace

void appendString(std::string& out, std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    std::size_t at = 0;
    while (at < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[at]);
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
        } else if (c == '"' || c == '\\') {
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
        at += length;
    }
    out += '"';
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
    std::string digits(text.substr(0, e));
    if (digits.size() > 1) {
        digits.erase(1, 1); // the point after the first digit
    }
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
        out += std::to_string(magnitude);
    }
}

std::int64_t integerValue(const Property& property) {
    const std::string text = property.getValue().toUtf8();
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
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

std::string snapshotJson(const Device& root) {
    std::string out;
    appendNode(out, root);
    return out;
}

} // namespace systemmonitor::json
