#include "suite/ata/AtaProtocol.h"

#include "suite/ata/RecordedBytes.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace qelrlibata {
namespace {

using testing::recordedBytes;

struct IdentifyCase {
    const char* file;
    bool valid;
    const char* model;
    const char* serial;
    const char* firmware;
    bool smartSupported;
    bool smartEnabled;
};

class RecordedIdentify : public ::testing::TestWithParam<IdentifyCase> {};

TEST_P(RecordedIdentify, DecodesIdentityOrRejects) {
    const IdentifyCase& c = GetParam();
    const auto block = recordedBytes(c.file);
    EXPECT_EQ(isValidIdentify(block), c.valid);
    const auto identity = decodeIdentify(block);
    ASSERT_EQ(identity.has_value(), c.valid);
    if (!c.valid) {
        return;
    }
    EXPECT_EQ(identity->model, c.model);
    EXPECT_EQ(identity->serial, c.serial);
    EXPECT_EQ(identity->firmware, c.firmware);
    EXPECT_EQ(identity->smartSupported, c.smartSupported);
    EXPECT_EQ(identity->smartEnabled, c.smartEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    Drives, RecordedIdentify,
    ::testing::Values(IdentifyCase{"identify-sata-ssd-512gb.hex", true, "SATA SSD NX500 512GB",
                                   "S3Z9NB0K123456A", "RVT04B6Q", true, true},
                      // Only trailing blanks go: the leading ones of a right-aligned serial stay.
                      IdentifyCase{"identify-sata-hdd-2tb.hex", true, "HD2000 7200RPM 2TB",
                                   "     ZX-WMC1T0123456", "80.00A80", true, true},
                      // No integrity signature: no checksum applies.
                      IdentifyCase{"identify-pata-hdd-80gb.hex", true, "PATA 80GB 7200", "Y2D7K4ME",
                                   "YAR41BW0", true, true},
                      IdentifyCase{"identify-embedded-flash-nul-padded.hex", true,
                                   "EMBEDDED FLASH 32G", "AA00000012345", "FW1.0", true, true},
                      IdentifyCase{"identify-bad-checksum.hex", false, "", "", "", false, false},
                      IdentifyCase{"identify-truncated-64.hex", false, "", "", "", false, false},
                      IdentifyCase{"identify-atapi-dvd.hex", false, "", "", "", false, false}));

void setChecksum(std::vector<std::uint8_t>& block) {
    block[510] = 0xA5;
    const unsigned sum = std::accumulate(block.begin(), block.begin() + 511, 0u);
    block[511] = static_cast<std::uint8_t>(-sum);
}

TEST(IdentifyValidity, DerivedBlocks) {
    const auto good = recordedBytes("identify-sata-ssd-512gb.hex");
    struct Case {
        const char* name;
        std::vector<std::uint8_t> block;
        bool valid;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}, false});
    cases.push_back({"one byte short", {good.begin(), good.end() - 1}, false});
    cases.push_back({"all zero", std::vector<std::uint8_t>(512, 0), false});
    cases.push_back({"all ones", std::vector<std::uint8_t>(512, 0xFF), false});
    {
        auto longer = good;
        longer.resize(1024, 0xEE);
        cases.push_back({"trailing bytes after the sector are ignored", longer, true});
    }
    {
        auto atapi = good;
        atapi[1] |= 0x80;
        setChecksum(atapi);
        cases.push_back({"word 0 bit 15 with a good checksum", atapi, false});
    }
    {
        auto edited = good;
        edited[54] = 'X';
        cases.push_back({"edited model, stale checksum", edited, false});
        setChecksum(edited);
        cases.push_back({"edited model, checksum redone", edited, true});
    }
    {
        auto unsigned_ = good;
        unsigned_[510] = 0x00;
        unsigned_[511] = 0x37;
        cases.push_back({"no signature, any checksum byte", unsigned_, true});
    }
    for (const auto& c : cases) {
        EXPECT_EQ(isValidIdentify(c.block), c.valid) << c.name;
        EXPECT_EQ(decodeIdentify(c.block).has_value(), c.valid) << c.name;
    }
}

TEST(IdentifySmartSupport, UnreportedWordsMeanUnsupported) {
    auto block = recordedBytes("identify-sata-ssd-512gb.hex");
    struct Case {
        std::uint16_t word82;
        std::uint16_t word85;
        bool supported;
        bool enabled;
    };
    const Case cases[] = {
        {0x0001, 0x0001, true, true},   {0x0001, 0x0000, true, false},
        {0x0000, 0x0001, false, false}, {0xFFFF, 0xFFFF, false, false},
        {0x746A, 0x7469, false, false}, {0x746B, 0xFFFF, true, false},
    };
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

TEST(AtaString, SwapsBytesAndTrimsOnlyTrailingPadding) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::size_t firstWord;
        std::size_t wordCount;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"pairs swapped", {'B', 'A', 'D', 'C'}, 0, 2, "ABCD"},
        {"trailing blanks", {'B', 'A', ' ', ' ', ' ', ' '}, 0, 3, "AB"},
        {"trailing NULs and blanks", {'B', 'A', 'C', ' ', 0, ' ', 0, 0}, 0, 4, "AB C"},
        {"leading and inner blanks kept", {'A', ' ', ' ', 'B', 'D', 'C'}, 0, 3, " AB CD"},
        {"all blanks", {' ', ' ', ' ', ' '}, 0, 2, ""},
        {"offset", {'x', 'x', 'B', 'A'}, 1, 1, "AB"},
        {"range past the end is cut", {'B', 'A', 'D', 'C'}, 1, 10, "CD"},
        {"first word past the end", {'B', 'A'}, 5, 2, ""},
        {"odd trailing byte is not a word", {'B', 'A', 'C'}, 0, 2, "AB"},
        {"empty", {}, 0, 20, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ataString(c.bytes, c.firstWord, c.wordCount), c.expected) << c.name;
    }
}

TEST(AtaTaskFiles, CarryTheCommandRegisters) {
    const AtaTaskFile identify = identifyDeviceTaskFile();
    EXPECT_EQ(identify.bytes(), (std::array<std::uint8_t, 8>{0, 1, 0, 0, 0, 0, 0xEC, 0}));

    const AtaTaskFile smart = smartReadDataTaskFile();
    EXPECT_EQ(smart.bytes(), (std::array<std::uint8_t, 8>{0xD0, 1, 1, 0x4F, 0xC2, 0, 0xB0, 0}));
}

TEST(AtaPassThrough16, WrapsPioDataInCommands) {
    struct Case {
        const char* name;
        AtaTaskFile task;
        std::array<std::uint8_t, 16> cdb;
    };
    const Case cases[] = {
        {"IDENTIFY DEVICE",
         identifyDeviceTaskFile(),
         {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xEC, 0}},
        {"SMART READ DATA",
         smartReadDataTaskFile(),
         {0x85, 0x08, 0x0E, 0, 0xD0, 0, 1, 0, 1, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0}},
        {"device register",
         AtaTaskFile{0x11, 2, 0x33, 0x44, 0x55, 0xE0, 0x77},
         {0x85, 0x08, 0x0E, 0, 0x11, 0, 2, 0, 0x33, 0, 0x44, 0, 0x55, 0xE0, 0x77, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ataPassThrough16Cdb(c.task), c.cdb) << c.name;
    }
}

} // namespace
} // namespace qelrlibata
