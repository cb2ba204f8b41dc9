#include "foundation/String.h"

#include <algorithm>
#include <cstdint>

namespace qel {
namespace {

bool isSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' ||
           c == 0x00A0 || c == 0x3000;
}

char16_t asciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        char32_t cp = 0;
        std::size_t extra = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            extra = 3;
        } else {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        bool valid = i + extra < text.size();
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
            } else {
                cp = (cp << 6) | (next & 0x3F);
            }
        }
        static constexpr char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (!valid || cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += extra + 1;
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            const char32_t cp = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            appendUtf8(out, cp);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

String::String(const char* text) : text_(text == nullptr ? std::u16string() : utf8ToUtf16(text)) {}

String::String(const char16_t* text) : text_(text == nullptr ? u"" : text) {}

String::String(const char16_t* text, std::size_t length)
    : text_(text == nullptr ? std::u16string() : std::u16string(text, length)) {}

String& String::operator=(const char* text) { return *this = String(text); }

String& String::operator=(const char16_t* text) { return *this = String(text); }

String& String::append(const String& text) {
    text_ += text.text_;
    return *this;
}

String& String::append(const char* text) { return append(String(text)); }

String& String::append(char16_t unit) {
    text_ += unit;
    return *this;
}

String operator+(const String& a, const String& b) {
    String result(a);
    return result.append(b);
}

String operator+(const char* a, const String& b) { return String(a) + b; }

String operator+(const String& a, const char* b) { return a + String(b); }

int String::compareNoCase(const String& other) const {
    const std::size_t common = std::min(text_.size(), other.text_.size());
    for (std::size_t i = 0; i < common; ++i) {
        const char16_t a = asciiLower(text_[i]);
        const char16_t b = asciiLower(other.text_[i]);
        if (a != b) {
            return a < b ? -1 : 1;
        }
    }
    if (text_.size() == other.text_.size()) {
        return 0;
    }
    return text_.size() < other.text_.size() ? -1 : 1;
}

String& String::trim() {
    std::size_t begin = 0;
    std::size_t end = text_.size();
    while (begin < end && isSpace(text_[begin])) {
        ++begin;
    }
    while (end > begin && isSpace(text_[end - 1])) {
        --end;
    }
    text_ = text_.substr(begin, end - begin);
    return *this;
}

String& String::normalizeSpaces() {
    std::u16string out;
    out.reserve(text_.size());
    bool pendingBlank = false;
    for (const char16_t c : text_) {
        if (isSpace(c)) {
            pendingBlank = !out.empty();
            continue;
        }
        if (pendingBlank) {
            out += u' ';
            pendingBlank = false;
        }
        out += c;
    }
    text_ = std::move(out);
    return *this;
}

String String::subString(std::size_t start, std::size_t length) const {
    if (start >= text_.size()) {
        return String();
    }
    return String(text_.substr(start, length));
}

std::string String::toUtf8() const { return utf16ToUtf8(text_); }

} // namespace qel
