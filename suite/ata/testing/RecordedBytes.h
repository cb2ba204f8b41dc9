#pragma once
// For tests: device answers recorded as hex text in the test folder's testdata/. Two hex digits
// per byte, separated by any white space; '#' starts a comment that runs to the end of the line.

#include "platform/HexText.h"

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qelrlibata::testing {

inline std::vector<std::uint8_t> parseHexBytes(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string word;
        while (words >> word) {
            const auto decoded = platform::hexBytes(word);
            if (!decoded) {
                throw std::runtime_error("not whole hex bytes: " + word);
            }
            bytes.insert(bytes.end(), decoded->begin(), decoded->end());
        }
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
    std::ostringstream text;
    text << file.rdbuf();
    return parseHexBytes(text.str());
}
#endif

} // namespace qelrlibata::testing
