#include "suite/ata/AtaProtocol.h"

#include "suite/ata/testing/RecordedBytes.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace qelrlibata {
namespace {

using testing::recordedBytes;

void setChecksum(std::vector<std::uint8_t>& block) {
    block[510] = 0xA5;
    const unsigned sum = std::accumulate(block.begin(), block.begin() + 511, 0u);
    block[511] = static_cast<std::uint8_t>(-sum);
}

TEST(Identify, RecordedDrives) {
    struct Case {
        const char* file;
        const char* model; // null: rejected
        const char* serial;
        const char* firmware;
    };
    const Case cases[] = {
        {"identify-sata-ssd-512gb.hex", "SATA SSD NX500 512GB", "S3Z9NB0K123456A", "RVT04B6Q"},
        // Only trailing blanks go: the leading ones of a right-aligned serial stay.
        {"identify-sata-hdd-2tb.hex", "HD2000 7200RPM 2TB", "     ZX-WMC1T0123456", "80.00A80"},
        // No integrity signature: no checksum applies.
        {"identify-pata-hdd-80gb.hex", "PATA 80GB 7200", "Y2D7K4ME", "YAR41BW0"},
        {"identify-embedded-flash-nul-padded.hex", "EMBEDDED FLASH 32G", "AA00000012345", "FW1.0"},
        {"identify-bad-checksum.hex", nullptr, "", ""},
        {"identify-truncated-64.hex", nullptr, "", ""},
        {"identify-atapi-dvd.hex", nullptr, "", ""},
    };
    for (const auto& c : cases) {
        const auto identity = decodeIdentify(recordedBytes(c.file));
        ASSERT_EQ(identity.has_value(), c.model != nullptr) << c.file;
        if (identity) {
            EXPECT_EQ(identity->model, c.model) << c.file;
            EXPECT_EQ(identity->serial, c.serial) << c.file;
            EXPECT_EQ(identity->firmware, c.firmware) << c.file;
            EXPECT_TRUE(identity->smartSupported && identity->smartEnabled) << c.file;
        }
    }
}

TEST(Identify, HostileBlocks) {
    const auto good = recordedBytes("identify-sata-ssd-512gb.hex");
    std::vector<std::pair<std::vector<std::uint8_t>, bool>> cases = {
        {{}, false},
        {{good.begin(), good.end() - 1}, false},
        {std::vector<std::uint8_t>(512, 0xFF), false},
    };
    auto longer = good;
    longer.resize(1024, 0xEE);
    cases.push_back({longer, true});
    auto atapi = good;
    atapi[1] |= 0x80;
    setChecksum(atapi);
    cases.push_back({atapi, false});
    auto edited = good;
    edited[54] = 'X';
    cases.push_back({edited, false}); // stale checksum
    setChecksum(edited);
    cases.push_back({edited, true});
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(decodeIdentify(cases[i].first).has_value(), cases[i].second) << i;
    }
}

TEST(Identify, UnreportedSmartWordsMeanUnsupported) {
    auto block = recordedBytes("identify-sata-ssd-512gb.hex");
    struct Case {
        std::uint16_t word82, word85;
        bool supported, enabled;
    };
    const Case cases[] = {{0x0001, 0x0000, true, false},
                          {0x0000, 0x0001, false, false},
                          {0xFFFF, 0xFFFF, false, false},
                          {0x746B, 0xFFFF, true, false}};
    for (const auto& c : cases) {
        block[164] = static_cast<std::uint8_t>(c.word82);
        block[165] = static_cast<std::uint8_t>(c.word82 >> 8);
        block[170] = static_cast<std::uint8_t>(c.word85);
        block[171] = static_cast<std::uint8_t>(c.word85 >> 8);
        setChecksum(block);
        const auto identity = decodeIdentify(block);
        ASSERT_TRUE(identity.has_value());
        EXPECT_EQ(identity->smartSupported, c.supported) << std::hex << c.word82;
        EXPECT_EQ(identity->smartEnabled, c.enabled) << std::hex << c.word85;
    }
}

TEST(AtaString, StaysInsideTheBuffer) {
    EXPECT_EQ(ataString(std::vector<std::uint8_t>{'B', 'A', 'D', 'C'}, 1, 10), "CD");
    EXPECT_EQ(ataString(std::vector<std::uint8_t>{'B', 'A'}, 5, 2), "");
    EXPECT_EQ(ataString(std::vector<std::uint8_t>{'B', 'A', 'C'}, 0, 2), "AB");
}

} // namespace
} // namespace qelrlibata
