#include "platform/simulated/DiskAnswers.h"

#include <gtest/gtest.h>

#include <string>

namespace platform::simulated {
namespace {

DiskState diskFrom(const std::string& json) {
    return Machine::fromJsonText(R"({"disks": {"d": )" + json + "}}").initialState().disks.at(u"d");
}

TEST(DiskAnswers, DriveFactsFollowTheSections) {
    const DriveFacts facts = driveFacts(diskFrom(R"({"length": 1024, "scsi": {
        "inquiry": {"vendor": "ACME", "product": "Disk", "revision": "A1"}, "serial": "SN",
        "temperature": 35}, "ata": {"identify": {"model": "M"}, "smart": {"temperature": 41}}})"));
    EXPECT_TRUE(facts.speaksScsi && facts.standardInquiry && facts.ata);
    EXPECT_EQ(facts.scsiVersion, 5);
    EXPECT_EQ(facts.vendor + facts.product + facts.revision, "ACMEDiskA1");
    EXPECT_EQ(facts.serial, "SN");
    EXPECT_EQ(facts.temperature, 35);
    EXPECT_EQ(facts.logicalBlocks, 2u);
    EXPECT_EQ(facts.ataSectors, 2u);
    EXPECT_EQ(facts.identify->model, "M");
    EXPECT_EQ(facts.smartTemperature, 41);

    const DriveFacts ataOnly = driveFacts(diskFrom(R"({"ata": {}})"));
    EXPECT_FALSE(ataOnly.speaksScsi);
    EXPECT_FALSE(ataOnly.identify || ataOnly.ataSectors || ataOnly.smartTemperature);
    EXPECT_FALSE(driveFacts(diskFrom(R"({"scsi": {}})")).standardInquiry);
}

} // namespace
} // namespace platform::simulated
