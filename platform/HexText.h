#pragma once
// Bytes as hexadecimal digits, two a byte, the high digit first: pages and blocks in machine
// files and recordings, the identifiers of some volumes.

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Any range of bytes (vector, string, span).
template <typename Bytes> std::string hexText(const Bytes& bytes, bool upper = false) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    text.reserve(2 * std::size(bytes));
    for (const auto c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0xF]);
    }
    return text;
}

// The bytes that `digits` (either case) spell; nullopt when it is not an even run of digits.
template <typename Bytes = std::vector<std::uint8_t>>
std::optional<Bytes> hexBytes(std::string_view digits) {
    const auto value = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    if (digits.size() % 2 != 0) {
        return std::nullopt;
    }
    Bytes bytes(digits.size() / 2, 0);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = value(digits[2 * i]);
        const int low = value(digits[2 * i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes[i] = static_cast<typename Bytes::value_type>(high * 16 + low);
    }
    return bytes;
}

} // namespace platform
