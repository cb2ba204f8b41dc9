#pragma once
// A directory tree made for one test (files, symbolic links, recorded images), removed when the
// test ends. Stands in for /sys, /dev and mount points.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform::test {

// The recorded inputs of the Linux backend (the build passes the platform folder's testdata).
inline std::filesystem::path linuxTestData() {
    return std::filesystem::path(SM_TEST_DATA_DIR).parent_path() / "linux" / "testdata";
}

class TestTree {
public:
    TestTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "sm-linux-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary directory");
        }
        root_ = pattern;
    }
    ~TestTree() {
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }
    TestTree(const TestTree&) = delete;
    TestTree& operator=(const TestTree&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path operator/(std::string_view relative) const {
        return root_ / std::string(relative);
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
