#include "platform/simulated/Machine.h"

#include <gtest/gtest.h>

#include <string>

namespace platform::simulated {
namespace {

// The drive facts a disk's ata and scsi sections give.
DriveFacts driveFacts(const std::string& json) {
    const auto disk = Machine::fromJsonText(R"({"disks": {"d": )" + json + "}}")
                          .initialState()
                          .storage.disks.at(u"d");
    return disk->drive.value_or(DriveFacts{});
}

TEST(DiskFacts, DriveFactsFollowTheSections) {
    const DriveFacts facts = driveFacts(R"({"length": 1024, "scsi": {
        "inquiry": {"vendor": "ACME", "product": "Disk", "revision": "A1"}, "serial": "SN",
        "temperature": 35}, "ata": {"identify": {"model": "M"}, "smart": {"temperature": 41}}})");
    EXPECT_TRUE(facts.speaksScsi && facts.standardInquiry && facts.ata);
    EXPECT_EQ(facts.scsiVersion, 5);
    EXPECT_EQ(facts.vendor + facts.product + facts.revision, "ACMEDiskA1");
    EXPECT_EQ(facts.serial, "SN");
    EXPECT_EQ(facts.temperature, 35);
    EXPECT_EQ(facts.logicalBlocks, 2u);
    EXPECT_EQ(facts.ataSectors, 2u);
    EXPECT_EQ(facts.identify->model, "M");
    EXPECT_EQ(facts.smartTemperature, 41);

    const DriveFacts ataOnly = driveFacts(R"({"ata": {}})");
    EXPECT_FALSE(ataOnly.speaksScsi);
    EXPECT_FALSE(ataOnly.identify || ataOnly.ataSectors || ataOnly.smartTemperature);
    EXPECT_FALSE(driveFacts(R"({"scsi": {}})").standardInquiry);
}

TEST(DiskFacts, RecordedDataIsAnsweredAsItStands) {
    std::string hex(1024, '0');
    hex.replace(4, 2, "be"); // attribute 190, where some drives keep their temperature
    const DriveFacts facts = driveFacts(R"({"ata": {"smart": {"hex": ")" + hex +
                                        R"("}}, "scsi": {"inquiry": {"hex": "0080"},
        "logPages": {"2f": "2f000000"}}})");
    const std::uint8_t inquiry[] = {0x12, 0, 0, 0, 36, 0};
    EXPECT_EQ(answerScsiCommand(facts, inquiry).data, (std::vector<std::uint8_t>{0x00, 0x80}));
    const std::uint8_t supported[] = {0x4D, 0, 0x40, 0, 0, 0, 0, 0, 64, 0};
    EXPECT_EQ(answerScsiCommand(facts, supported).data,
              (std::vector<std::uint8_t>{0, 0, 0, 2, 0x00, 0x2F}));
    const std::uint8_t page[] = {0x4D, 0, 0x6F, 0, 0, 0, 0, 0, 64, 0};
    EXPECT_EQ(answerScsiCommand(facts, page).data, (std::vector<std::uint8_t>{0x2F, 0, 0, 0}));
    AtaTaskFile read;
    read.command = kAtaSmart;
    read.features = kSmartReadData;
    read.lbaMid = kSmartLbaMid;
    read.lbaHigh = kSmartLbaHigh;
    const AtaAnswer answer = answerAtaCommand(facts, read);
    ASSERT_FALSE(answer.aborted);
    ASSERT_EQ(answer.data.size(), 512u);
    EXPECT_EQ(answer.data[2], 190);
}

} // namespace
} // namespace platform::simulated
