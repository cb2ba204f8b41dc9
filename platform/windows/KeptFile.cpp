#include "platform/KeptFile.h"

#include "platform/TextFile.h"

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
    if (!readTextFile(path_.c_str(), buffer_)) {
        return std::nullopt;
    }
    return std::string_view(buffer_);
}

} // namespace platform
