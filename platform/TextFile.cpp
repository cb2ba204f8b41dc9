#include "platform/TextFile.h"

#include <algorithm>
#include <cstdio>

namespace platform {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0';
}

std::FILE* openFile(const char* path) {
#ifdef _WIN32
    return std::fopen(path, "rb");
#else
    return std::fopen(path, "rbe"); // close-on-exec: a host's child processes never inherit it
#endif
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

} // namespace platform
