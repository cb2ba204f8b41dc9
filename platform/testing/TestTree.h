#pragma once
// A directory tree made for one test (files, symbolic links, recorded images), removed when the
// test ends. Stands in for /sys, /dev, /proc and mount points.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace platform::test {

class TestTree {
public:
    // A fresh directory even when another process runs the same test at the same time.
    TestTree() {
        static std::atomic<unsigned> counter{0};
        std::random_device random;
        do {
            root_ = std::filesystem::path(::testing::TempDir()) /
                    ("sm-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
        } while (!std::filesystem::create_directories(root_));
    }
    ~TestTree() {
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }
    TestTree(const TestTree&) = delete;
    TestTree& operator=(const TestTree&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path operator/(std::string_view relative) const {
        return root_ / std::filesystem::path(relative);
    }

    // Writes `content` (a sysfs attribute gets its newline from the caller) at `relative`.
    void file(std::string_view relative, std::string_view content) const {
        const auto path = *this / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }

    void bytes(std::string_view relative, const std::vector<std::uint8_t>& content) const {
        file(relative,
             std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
    }

    void link(std::string_view relative, std::string_view target) const {
        const auto path = *this / relative;
        std::filesystem::create_directories(path.parent_path());
        std::filesystem::create_symlink(std::string(target), path);
    }

    void directory(std::string_view relative) const {
        std::filesystem::create_directories(*this / relative);
    }

private:
    std::filesystem::path root_;
};

} // namespace platform::test
