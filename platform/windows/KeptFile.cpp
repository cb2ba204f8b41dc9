#include "platform/KeptFile.h"

#include <cstdio>
#include <utility>

// Windows has no kernel text files: the path is opened and read on every call (tests' trees).
namespace platform {

KeptFile::KeptFile(std::string path, Reads reads) : path_(std::move(path)), reads_(reads) {}
KeptFile::~KeptFile() = default;
KeptFile::KeptFile(KeptFile&& other) noexcept = default;
KeptFile& KeptFile::operator=(KeptFile&& other) noexcept = default;

bool KeptFile::open() {
    return false;
}

void KeptFile::close() {}

bool KeptFile::readOpen() {
    return false;
}

std::optional<std::string_view> KeptFile::read() {
    std::FILE* file = std::fopen(path_.c_str(), "rb");
    if (file == nullptr) {
        return std::nullopt;
    }
    buffer_.clear();
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        buffer_.append(chunk, got);
    }
    const bool good = std::ferror(file) == 0;
    std::fclose(file);
    if (!good) {
        return std::nullopt;
    }
    return std::string_view(buffer_);
}

} // namespace platform
