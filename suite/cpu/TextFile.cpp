#include "suite/cpu/TextFile.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <type_traits>

namespace libSysTopo::cpu {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0';
}

template <typename T> std::optional<T> parseWhole(std::string_view text) {
    text = trimText(text);
    if (text.empty()) {
        return std::nullopt;
    }
    if constexpr (std::is_unsigned_v<T>) {
        if (text.front() == '+') {
            text.remove_prefix(1);
        }
    }
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<std::string> readTextFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) {
        return std::nullopt;
    }
    return text;
}

std::string_view trimText(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    return parseWhole<std::int64_t>(text);
}

std::optional<std::uint64_t> parseUnsigned(std::string_view text) {
    return parseWhole<std::uint64_t>(text);
}

std::optional<std::int64_t> readIntegerFile(const std::filesystem::path& path) {
    const auto text = readTextFile(path);
    return text ? parseInteger(*text) : std::nullopt;
}

std::optional<std::uint64_t> readUnsignedFile(const std::filesystem::path& path) {
    const auto text = readTextFile(path);
    return text ? parseUnsigned(*text) : std::nullopt;
}

} // namespace libSysTopo::cpu
