#include "platform/KeptFile.h"

#include "platform/testing/TestTree.h"

#include <fcntl.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

namespace platform {
namespace {

std::string text(KeptFile& file) {
    const auto read = file.read();
    return read ? std::string(*read) : std::string("<none>");
}

// Open descriptors of this process.
std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

TEST(KeptFileTest, OrdinaryFilesAreReadAfreshAsTheyAreReplacedRemovedAndRestored) {
    const test::TestTree tree;
    const std::string large(10000, 'x'); // more than one read
    tree.file("large", large);
    tree.file("value", "1\n");
    KeptFile whole((tree / "large").string());
    KeptFile attribute((tree / "value").string(), KeptFile::Reads::Attribute);
    const std::size_t before = openDescriptors();
    EXPECT_EQ(text(whole), large);
    EXPECT_EQ(text(attribute), "1\n");
    EXPECT_EQ(openDescriptors(), before); // nothing kept of a file a test may replace

    tree.file("value.new", "22\n");
    std::filesystem::rename(tree / "value.new", tree / "value");
    EXPECT_EQ(text(attribute), "22\n");
    std::filesystem::remove(tree / "value");
    EXPECT_EQ(text(attribute), "<none>");
    tree.file("value", "3\n");
    EXPECT_EQ(text(attribute), "3\n");
    KeptFile missing((tree / "missing").string());
    EXPECT_EQ(text(missing), "<none>");
}

TEST(KeptFileTest, KernelFileStaysOpenCloseOnExecAndReadsCurrentText) {
    KeptFile uptime("/proc/uptime");
    const std::string first = text(uptime);
    if (first == "<none>") {
        GTEST_SKIP() << "no /proc on this system";
    }
    const std::size_t open = openDescriptors();
    std::string later;
    for (int attempt = 0; attempt < 50 && (later.empty() || later == first); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        later = text(uptime);
    }
    EXPECT_NE(later, first); // hundredths of a second went by
    EXPECT_EQ(openDescriptors(), open);

    int kept = 0;
    bool allCloseOnExec = true;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == "/proc/uptime") {
            const int fd = std::stoi(entry.path().filename().string());
            ++kept;
            allCloseOnExec = allCloseOnExec && (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0;
        }
    }
    EXPECT_EQ(kept, 1);
    EXPECT_TRUE(allCloseOnExec);
}

} // namespace
} // namespace platform
