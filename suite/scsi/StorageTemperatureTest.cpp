#include "suite/scsi/StorageTemperature.h"

#include "platform/PassThrough.h"
#include "suite/ata/testing/RecordedBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace qelrlibscsi {
namespace {

using qelrlibata::testing::recordedBytes;

// A descriptor with the given Size and InfoCount and one entry per (Index, Temperature); `cut`
// drops bytes from the end.
std::vector<std::uint8_t> descriptor(std::uint32_t size, std::uint16_t count,
                                     std::vector<std::pair<std::uint16_t, std::int16_t>> readings,
                                     std::size_t cut = 0) {
    std::vector<std::uint8_t> data(kStorageTemperatureHeaderLength);
    win32::StorageTemperatureDataDescriptor header{};
    header.Size = size;
    header.InfoCount = count;
    std::memcpy(data.data(), &header, kStorageTemperatureHeaderLength);
    for (const auto& [index, celsius] : readings) {
        win32::StorageTemperatureInfo info{};
        info.Index = index;
        info.Temperature = celsius;
        data.resize(data.size() + kStorageTemperatureInfoLength);
        std::memcpy(data.data() + data.size() - kStorageTemperatureInfoLength, &info, sizeof(info));
    }
    data.resize(data.size() - cut);
    return data;
}

TEST(StorageTemperature, RecordedDescriptors) {
    EXPECT_EQ(decodeStorageTemperature(recordedBytes("storagetemp-nvme-ssd.hex")), 43);
    const auto huge = recordedBytes("storagetemp-size-4gib.hex");
    EXPECT_EQ(storageTemperatureDescriptorSize(huge), 0xFFFFFFFFu);
    EXPECT_EQ(decodeStorageTemperature(huge), 41);
    EXPECT_EQ(decodeStorageTemperature(recordedBytes("storagetemp-sensor-unavailable.hex")),
              std::nullopt);
    // Size is read from the first eight bytes alone.
    EXPECT_EQ(storageTemperatureDescriptorSize(std::span(huge).first(8)), 0xFFFFFFFFu);
    EXPECT_EQ(storageTemperatureDescriptorSize(std::span(huge).first(7)), std::nullopt);
}

TEST(StorageTemperature, BoundsAndChoice) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> data;
        std::optional<int> celsius;
    };
    const std::vector<Case> cases = {
        {"header cut", descriptor(40, 1, {{0, 30}}, 17), std::nullopt},
        {"reading cut by the buffer", descriptor(40, 1, {{0, 30}}, 1), std::nullopt},
        {"reading beyond Size", descriptor(24, 1, {{0, 30}}), std::nullopt},
        {"reading beyond InfoCount", descriptor(40, 0, {{0, 30}}), std::nullopt},
        {"Size below the header", descriptor(8, 1, {{0, 30}}), std::nullopt},
        {"InfoCount 65535 with one reading", descriptor(0xFFFFFFFF, 0xFFFF, {{0, 30}}), 30},
        {"lowest Index wins", descriptor(72, 3, {{2, 50}, {0, 31}, {1, 40}}), 31},
        {"implausible composite skipped", descriptor(56, 2, {{0, -273}, {1, 36}}), 36},
        {"bounds of plausibility", descriptor(72, 3, {{0, 128}, {1, -56}, {2, -55}}), -55},
        {"127 is plausible", descriptor(40, 1, {{0, 127}}), 127},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeStorageTemperature(c.data), c.celsius) << c.name;
    }
}

} // namespace
} // namespace qelrlibscsi
