#include "platform/KeptFile.h"

#include "platform/Hot.h"
#include "platform/linux/SysfsText.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <utility>

namespace platform {
namespace {

// Descriptors kept open by the whole process at most, so that a machine of hundreds of processors
// does not spend its host's descriptor limit: beyond it, files are opened for every read.
constexpr int kKeptBudget = 64;
std::atomic<int> kept{0};

bool takeBudget() {
    int now = kept.load(std::memory_order_relaxed);
    while (now < kKeptBudget) {
        if (kept.compare_exchange_weak(now, now + 1, std::memory_order_relaxed)) {
            return true;
        }
    }
    return false;
}

} // namespace

KeptFile::KeptFile(std::string path, Reads reads) : path_(std::move(path)), reads_(reads) {}

KeptFile::~KeptFile() {
    close();
}

KeptFile::KeptFile(KeptFile&& other) noexcept
    : path_(std::move(other.path_)), reads_(other.reads_), fd_(std::exchange(other.fd_, -1)),
      keep_(other.keep_), buffer_(std::move(other.buffer_)), length_(other.length_) {}

KeptFile& KeptFile::operator=(KeptFile&& other) noexcept {
    if (this != &other) {
        close();
        path_ = std::move(other.path_);
        reads_ = other.reads_;
        fd_ = std::exchange(other.fd_, -1);
        keep_ = other.keep_;
        buffer_ = std::move(other.buffer_);
        length_ = other.length_;
    }
    return *this;
}

bool KeptFile::open() {
    do {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        return false;
    }
    keep_ = sysfs::isKernelFile(fd_) && takeBudget();
    return true;
}

void KeptFile::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        if (keep_) {
            kept.fetch_sub(1, std::memory_order_relaxed);
        }
        keep_ = false;
    }
}

SM_HOT bool KeptFile::readOpen() {
    const auto length = sysfs::readFromStart(fd_, buffer_, reads_ == Reads::Attribute);
    length_ = length.value_or(0);
    return length.has_value();
}

SM_HOT std::optional<std::string_view> KeptFile::read() {
    bool fresh = false;
    if (fd_ < 0) {
        if (!open()) {
            return std::nullopt;
        }
        fresh = true;
    }
    bool good = readOpen();
    if (!good && !fresh) {
        // A kept descriptor of a removed sysfs file fails with ENODEV: the path may name a new one.
        close();
        good = open() && readOpen();
    }
    if (!good || !keep_) {
        close();
    }
    if (!good) {
        return std::nullopt;
    }
    return std::string_view(buffer_.data(), length_);
}

} // namespace platform
