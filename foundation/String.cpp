#include "foundation/String.h"

#include "platform/Hot.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cstdint>

namespace qel {
namespace {

bool isSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' ||
           c == 0x00A0 || c == 0x3000;
}

char16_t asciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

} // namespace

SM_HOT std::u16string utf8ToUtf16(std::string_view text) {
    return platform::utf8ToUtf16(text);
}

std::string utf16ToUtf8(std::u16string_view text) {
    return platform::utf16ToUtf8(text);
}

SM_HOT String::String(const char* text)
    : text_(text == nullptr ? std::u16string() : utf8ToUtf16(text)) {}

String::String(const char16_t* text) : text_(text == nullptr ? u"" : text) {}

SM_HOT String::String(const char16_t* text, std::size_t length)
    : text_(text == nullptr ? std::u16string() : std::u16string(text, length)) {}

String& String::operator=(const char* text) {
    return *this = String(text);
}

String& String::operator=(const char16_t* text) {
    return *this = String(text);
}

SM_HOT String& String::append(const String& text) {
    text_ += text.text_;
    return *this;
}

String& String::append(const char* text) {
    return append(String(text));
}

SM_HOT String& String::append(char16_t unit) {
    text_ += unit;
    return *this;
}

SM_HOT String operator+(const String& a, const String& b) {
    String result(a);
    return result.append(b);
}

String operator+(const char* a, const String& b) {
    return String(a) + b;
}

String operator+(const String& a, const char* b) {
    return a + String(b);
}

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

SM_HOT String& String::trim() {
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

std::string String::toUtf8() const {
    return utf16ToUtf8(text_);
}

} // namespace qel
