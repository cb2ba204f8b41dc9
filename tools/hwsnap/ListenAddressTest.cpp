#include "tools/hwsnap/ListenAddress.h"

#include <gtest/gtest.h>

namespace hwsnap {
namespace {

TEST(ListenAddressTest, ParsesWhatUsersWriteAndRejectsTheRest) {
    const struct {
        const char* text;
        bool valid;
        const char* host;
        int port;
    } cases[] = {
        {"9470", true, "127.0.0.1", 9470},
        {":9470", true, "127.0.0.1", 9470},
        {"0.0.0.0:80", true, "0.0.0.0", 80},
        {"[::1]:0", true, "::1", 0},
        {"localhost:65535", true, "localhost", 65535},
        {"::1:80", false, "", 0}, // an IPv6 address needs its brackets
        {"host:65536", false, "", 0},
        {"host:-1", false, "", 0},
        {"host:80x", false, "", 0},
        {"host:", false, "", 0},
        {"", false, "", 0},
    };
    for (const auto& c : cases) {
        const auto parsed = parseListenAddress(c.text);
        ASSERT_EQ(parsed.has_value(), c.valid) << c.text;
        if (parsed) {
            EXPECT_EQ(parsed->host, c.host) << c.text;
            EXPECT_EQ(parsed->port, c.port) << c.text;
        }
    }
}

} // namespace
} // namespace hwsnap
