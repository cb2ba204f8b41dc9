#pragma once
// Text of 16-bit code units (UTF-16), held by value.

#include <cstddef>
#include <string>
#include <string_view>

namespace qel {

class String {
public:
    String() = default;
    String(const char* text);     // 8-bit text, taken as UTF-8; null gives an empty text
    String(const char16_t* text); // zero-terminated; null gives an empty text
    String(const char16_t* text, std::size_t length);
    String(std::u16string text) : text_(std::move(text)) {}
    String(const String&) = default;
    String(String&&) noexcept = default;
    String& operator=(const String&) = default;
    String& operator=(String&&) noexcept = default;
    String& operator=(const char* text);
    String& operator=(const char16_t* text);

    std::size_t size() const { return text_.size(); }
    bool empty() const { return text_.empty(); }
    // Zero-terminated, for platform calls; valid until the text changes.
    const char16_t* getUCS2Buffer() const { return text_.c_str(); }
    char16_t operator[](std::size_t index) const { return text_[index]; }

    String& append(const String& text);
    String& append(const char* text);
    String& append(char16_t unit);
    String& operator+=(const String& text) { return append(text); }
    String& operator+=(const char* text) { return append(text); }
    String& operator+=(char16_t unit) { return append(unit); }

    friend String operator+(const String& a, const String& b);
    friend String operator+(const char* a, const String& b);
    friend String operator+(const String& a, const char* b);
    friend bool operator==(const String& a, const String& b) { return a.text_ == b.text_; }
    friend bool operator==(const String& a, const char* b) { return a == String(b); }

    // 0 when equal ignoring ASCII letter case; otherwise the sign of the first difference.
    int compareNoCase(const String& other) const;
    // Removes leading and trailing white space.
    String& trim();
    // Trims, and collapses every inner run of white space to one blank.
    String& normalizeSpaces();
    // At most `length` units from `start`; a start past the end gives an empty text.
    String subString(std::size_t start, std::size_t length = npos) const;
    void clear() { text_.clear(); }

    const std::u16string& u16() const { return text_; }
    // UTF-8, an unpaired surrogate as U+FFFD.
    std::string toUtf8() const;

    static constexpr std::size_t npos = std::u16string::npos;

private:
    std::u16string text_;
};

// UTF-8 to UTF-16; an invalid sequence becomes U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

} // namespace qel
