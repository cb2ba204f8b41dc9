#pragma once
// For the tests of this folder: recorded inputs, and scratch file trees that fake /proc and /sys
// layouts for the cases no recorded machine shows.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace libSysTopo::cpu::test {

inline std::filesystem::path testData(std::string_view name) {
    return std::filesystem::path(SM_TEST_DATA_DIR) / std::filesystem::path(name);
}

inline std::string readTestData(std::string_view name) {
    std::ifstream file(testData(name), std::ios::binary);
    EXPECT_TRUE(file) << "missing test data " << name;
    return std::string{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A directory tree, removed with its owner.
class ScratchTree {
public:
    ScratchTree() {
        static std::atomic<unsigned> counter{0};
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = test ? test->name() : "tree";
        for (char& c : name) {
            c = (c == '/' || c == '\\') ? '_' : c;
        }
        root_ = std::filesystem::path(::testing::TempDir()) /
                ("sm-cpu-" + name + "-" + std::to_string(counter++));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~ScratchTree() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    ScratchTree(const ScratchTree&) = delete;
    ScratchTree& operator=(const ScratchTree&) = delete;

    const std::filesystem::path& root() const { return root_; }

    // Writes relative (creating its directories) with the text as it stands.
    void write(std::string_view relative, std::string_view text) const {
        const auto path = root_ / std::filesystem::path(relative);
        std::filesystem::create_directories(path.parent_path());
        std::ofstream file(path, std::ios::binary);
        file << text;
    }

private:
    std::filesystem::path root_;
};

} // namespace libSysTopo::cpu::test
