#include "suite/cpu/TextFile.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
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

std::FILE* openFile(const char* path) {
    return std::fopen(path, "rb");
}

// Where paths are wide: the C library's wide open, named only where it exists.
template <typename Char> std::FILE* openFile(const Char* path) {
    return _wfopen(path, L"rb");
}

// Reads unbuffered straight into `text`: one read per call of a small file, no stream set-up.
bool readAll(std::FILE* file, std::string& text) {
    if (file == nullptr) {
        text.clear();
        return false;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    constexpr std::size_t kChunk = 4096;
    std::size_t used = 0;
    bool good = true;
    while (true) {
        if (text.size() < used + kChunk) {
            text.resize(std::max(text.capacity(), used + kChunk));
        }
        const std::size_t wanted = text.size() - used;
        const std::size_t got = std::fread(text.data() + used, 1, wanted, file);
        used += got;
        if (got < wanted) {
            good = std::ferror(file) == 0;
            break;
        }
    }
    std::fclose(file);
    text.resize(good ? used : 0);
    return good;
}

} // namespace

bool readTextFile(const char* path, std::string& text) {
    return readAll(openFile(path), text);
}

bool readTextFile(const std::filesystem::path& path, std::string& text) {
    return readAll(openFile(path.c_str()), text);
}

std::optional<std::string> readTextFile(const std::filesystem::path& path) {
    std::string text;
    if (!readTextFile(path, text)) {
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
    thread_local std::string text;
    return readTextFile(path, text) ? parseInteger(text) : std::nullopt;
}

std::optional<std::uint64_t> readUnsignedFile(const std::filesystem::path& path) {
    thread_local std::string text;
    return readTextFile(path, text) ? parseUnsigned(text) : std::nullopt;
}

} // namespace libSysTopo::cpu
