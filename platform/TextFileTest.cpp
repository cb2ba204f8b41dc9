#include "platform/TextFile.h"

#include "platform/testing/TestTree.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(TextFileTest, ParsesWholeNumbersOnly) {
    struct Case {
        std::string_view text;
        std::optional<std::int64_t> integer;
        std::optional<std::uint64_t> unsignedValue;
    };
    const Case cases[] = {
        {"  7 \t\r\n", 7, 7},
        {"-1\n", -1, std::nullopt},
        {"+5", std::nullopt, 5},
        {"\n", std::nullopt, std::nullopt},
        {"12abc", std::nullopt, std::nullopt},
        {"18446744073709551615", std::nullopt, UINT64_MAX},
        {"18446744073709551616", std::nullopt, std::nullopt},
        {"-9223372036854775808", INT64_MIN, std::nullopt},
        {std::string_view("3\0", 2), 3, 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseNumber<std::int64_t>(c.text), c.integer) << '"' << c.text << '"';
        EXPECT_EQ(parseNumber<std::uint64_t>(c.text), c.unsignedValue) << '"' << c.text << '"';
    }
    EXPECT_EQ(parseNumber<std::uint16_t>(" a5Ff\n", 16), 0xA5FF);
    EXPECT_EQ(parseNumber<std::uint16_t>("1ffff", 16), std::nullopt); // does not fit
}

TEST(TextFileTest, NextLineTakesOneLineAtATime) {
    std::string_view text = "a b\n\nc";
    for (const std::string_view expected : {"a b", "", "c"}) {
        EXPECT_EQ(nextLine(text), expected);
    }
    EXPECT_TRUE(text.empty());
}

TEST(TextFileTest, ReadsBeyondTheSizeProcReports) {
    // /proc files report a size of 0; the whole text must still come back.
    const auto text = readTextFile("/proc/self/stat");
    if (!text) {
        GTEST_SKIP() << "no /proc on this system";
    }
    EXPECT_FALSE(text->empty());
}

TEST(TextFileTest, ReusedBufferHoldsExactlyTheLastFile) {
    const test::TestTree tree;
    const std::string large(10000, 'x'); // more than one read
    tree.file("large", large);
    tree.file("small", "42\n");
    std::string buffer;
    const struct {
        const char* name;
        bool found;
        std::string_view text;
    } reads[] = {{"large", true, large}, {"small", true, "42\n"}, {"missing", false, ""}};
    for (const auto& read : reads) {
        EXPECT_EQ(readTextFile(tree.root() / read.name, buffer), read.found) << read.name;
        EXPECT_EQ(buffer, read.text) << read.name;
    }
}

} // namespace
} // namespace platform
