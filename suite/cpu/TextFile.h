#pragma once
// Reading the small text files of /proc and /sys. Each function names its failure value; none
// throws for a missing or unreadable file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace libSysTopo::cpu {

// The whole file, or nullopt when it cannot be opened or read. Files of /proc and /sys report a
// size of 4096 or 0 whatever they hold, so the file is read to its end rather than by its size.
std::optional<std::string> readTextFile(const std::filesystem::path& path);
// The same into `text`, whose storage is reused from call to call; false (and `text` empty) when
// the file cannot be opened or read.
bool readTextFile(const std::filesystem::path& path, std::string& text);
bool readTextFile(const char* path, std::string& text);

// The text without leading and trailing blanks, tabs, line ends and zero characters.
std::string_view trimText(std::string_view text);

// A decimal integer that makes up the whole (trimmed) text; nullopt when the text is empty, holds
// anything else, or the value does not fit.
std::optional<std::int64_t> parseInteger(std::string_view text);
std::optional<std::uint64_t> parseUnsigned(std::string_view text);

// The file read and parsed as above; nullopt when either step fails.
std::optional<std::int64_t> readIntegerFile(const std::filesystem::path& path);
std::optional<std::uint64_t> readUnsignedFile(const std::filesystem::path& path);

} // namespace libSysTopo::cpu
