#pragma once
// A kernel text file read on every snapshot (/proc/stat, a cpufreq or hwmon attribute): opened
// once, close-on-exec, and read again from its start into a buffer kept from call to call, so a
// warm reading costs its reads and nothing else. Not for concurrent use: its owner serializes.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

class KeptFile {
public:
    // How the text ends. An attribute of sysfs comes whole from one read, so a short read ends
    // it; a /proc file hands out a page or so per read and ends at a read of nothing.
    enum class Reads { UntilEmpty, Attribute };

    explicit KeptFile(std::string path, Reads reads = Reads::UntilEmpty);
    ~KeptFile();
    KeptFile(KeptFile&& other) noexcept;
    KeptFile& operator=(KeptFile&& other) noexcept;
    KeptFile(const KeptFile&) = delete;
    KeptFile& operator=(const KeptFile&) = delete;

    // The whole current text, valid until the next call; nullopt when the file cannot be opened
    // or read. A descriptor whose file went away (a processor taken offline) is reopened once by
    // path; a file that is missing is looked for again on the next call. Only the kernel's own
    // files are kept open: any other file (a test's fake tree) is opened for every read, since a
    // kept descriptor would go on reading a replaced or deleted file; so is a kernel file beyond
    // the process's budget of kept descriptors (64).
    std::optional<std::string_view> read();

    const std::string& path() const { return path_; }

private:
    bool open();
    void close();
    bool readOpen();

    std::string path_;
    Reads reads_;
    int fd_ = -1;
    bool keep_ = false;
    std::string buffer_; // its size is its capacity, never shrunk: no zero-filling before a read
    std::size_t length_ = 0;
};

} // namespace platform
