#pragma once
// For tests: device answers recorded as hex text in the test folder's testdata/. Two hex digits
// per byte, separated by any white space; '#' starts a comment that runs to the end of the line.

#include <cctype>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qelrlibata::testing {

inline std::vector<std::uint8_t> parseHexBytes(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    std::string digits;
    bool comment = false;
    for (const char c : text) {
        if (c == '\n') {
            comment = false;
        }
        if (comment) {
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c)) || c == '#') {
            if (!digits.empty()) {
                throw std::runtime_error("a byte needs two hex digits");
            }
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            continue;
        }
        if (c == '#') {
            comment = true;
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            throw std::runtime_error(std::string("not a hex digit: ") + c);
        }
        digits.push_back(c);
        if (digits.size() == 2) {
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits, nullptr, 16)));
            digits.clear();
        }
    }
    if (!digits.empty()) {
        throw std::runtime_error("odd number of hex digits");
    }
    return bytes;
}

#ifdef SM_TEST_DATA_DIR
inline std::vector<std::uint8_t> recordedBytes(const std::string& name) {
    const std::string path = std::string(SM_TEST_DATA_DIR) + "/" + name;
    std::ifstream file(path);
    if (!file) {
        throw std::runtime_error("cannot open " + path);
    }
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    return parseHexBytes(text);
}
#endif

} // namespace qelrlibata::testing
