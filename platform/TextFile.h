#pragma once
// Reading and parsing the small text files of /proc and /sys: one reader for the processor and
// storage sources alike. Each function names its failure value; none throws for a missing or
// unreadable file.

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace platform {

// The whole file, or nullopt when it cannot be opened or read. Files of /proc and /sys report a
// size of 4096 or 0 whatever they hold, so the file is read to its end rather than by its size.
std::optional<std::string> readTextFile(const std::filesystem::path& path);
// The same into `text`, whose storage is reused from call to call; false (and `text` empty) when
// the file cannot be opened or read.
bool readTextFile(const std::filesystem::path& path, std::string& text);
bool readTextFile(const char* path, std::string& text);

// The text without leading and trailing blanks, tabs, line ends and zero characters.
std::string_view trimText(std::string_view text);

// The first line of `text` (without its line end), which is moved past it.
inline std::string_view nextLine(std::string_view& text) {
    const auto end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    return line;
}

// An integer in `base` that makes up the whole (trimmed) text; nullopt when the text is empty,
// holds anything else, or the value does not fit T. An unsigned value may carry a '+'.
template <typename T> std::optional<T> parseNumber(std::string_view text, int base = 10) {
    text = trimText(text);
    if constexpr (std::is_unsigned_v<T>) {
        if (!text.empty() && text.front() == '+') {
            text.remove_prefix(1);
        }
    }
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The file read and parsed as above; nullopt when either step fails.
template <typename T> std::optional<T> readNumberFile(const std::filesystem::path& path) {
    thread_local std::string text;
    return readTextFile(path, text) ? parseNumber<T>(text) : std::nullopt;
}

} // namespace platform
