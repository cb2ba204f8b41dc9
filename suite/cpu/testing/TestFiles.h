#pragma once
// For the tests of this folder: recorded inputs, and file trees that fake /proc and /sys layouts
// for the cases no recorded machine shows.

#include "platform/testing/TestTree.h"

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

using platform::test::TestTree;

} // namespace libSysTopo::cpu::test
