#include "platform/simulated/DiskAnswers.h"

#include "platform/Win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace platform::simulated {
namespace {

DiskState diskFrom(const std::string& json) {
    return Machine::fromJsonText(R"({"disks": {"d": )" + json + "}}").initialState().disks.at(u"d");
}

TEST(DiskAnswers, DescriptorPlacesTheStringsAfterTheFixedPart) {
    const DiskState disk = diskFrom(R"({"descriptor": {"busType": 7,
        "vendorId": "ATA", "productId": "Acme SSD", "serialNumber": "S1"}})");
    const Bytes bytes = storageDeviceDescriptor(*disk.descriptor);
    STORAGE_DEVICE_DESCRIPTOR fixed;
    std::memcpy(&fixed, bytes.data(), sizeof(fixed));
    EXPECT_EQ(fixed.Size, bytes.size());
    EXPECT_EQ(bytes.size(), 40u + 4 + 9 + 3);
    EXPECT_EQ(fixed.ProductIdOffset, 44u);
    EXPECT_EQ(fixed.ProductRevisionOffset, 0u); // not there
    EXPECT_EQ(fixed.SerialNumberOffset, 53u);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data() + 53), "S1");
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

TEST(DiskAnswers, ARecordedSmartBlockIsAnsweredAsItStands) {
    std::string hex(1024, '0');
    hex.replace(4, 2, "be"); // attribute 190, where some drives keep their temperature
    const DriveFacts facts =
        driveFacts(diskFrom(R"({"ata": {"smart": {"hex": ")" + hex + R"("}}})"));
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
