#include "suite/scsi/StorageTemperature.h"

#include "platform/PassThrough.h"
#include "suite/ata/RecordedBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace qelrlibscsi {
namespace {

using qelrlibata::testing::recordedBytes;

std::vector<std::uint8_t>
descriptor(std::uint32_t size, std::uint16_t count,
           const std::vector<std::pair<std::uint16_t, std::int16_t>>& readings) {
    std::vector<std::uint8_t> data(kStorageTemperatureHeaderLength +
                                   readings.size() * kStorageTemperatureInfoLength);
    win32::StorageTemperatureDataDescriptor header{};
    header.Version = sizeof(header);
    header.Size = size;
    header.InfoCount = count;
    std::memcpy(data.data(), &header, kStorageTemperatureHeaderLength);
    for (std::size_t i = 0; i < readings.size(); ++i) {
        win32::StorageTemperatureInfo info{};
        info.Index = readings[i].first;
        info.Temperature = readings[i].second;
        std::memcpy(data.data() + kStorageTemperatureHeaderLength +
                        i * kStorageTemperatureInfoLength,
                    &info, sizeof(info));
    }
    return data;
}

TEST(StorageTemperature, RecordedDescriptors) {
    struct Case {
        const char* file;
        std::optional<std::uint32_t> size;
        std::optional<int> celsius;
    };
    const Case cases[] = {
        {"storagetemp-nvme-ssd.hex", 72, 43},
        {"storagetemp-sata-ssd.hex", 40, 35},
        {"storagetemp-size-4gib.hex", 0xFFFFFFFF, 41},
        {"storagetemp-sensor-unavailable.hex", 56, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto data = recordedBytes(c.file);
        EXPECT_EQ(storageTemperatureDescriptorSize(data), c.size) << c.file;
        EXPECT_EQ(decodeStorageTemperature(data), c.celsius) << c.file;
    }
}

TEST(StorageTemperature, BoundsAndChoice) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> data;
        std::optional<int> celsius;
    };
    auto cut = [](std::vector<std::uint8_t> data, std::size_t length) {
        data.resize(length);
        return data;
    };
    const std::vector<Case> cases = {
        {"nothing", {}, std::nullopt},
        {"header cut", cut(descriptor(40, 1, {{0, 30}}), 23), std::nullopt},
        {"no readings", descriptor(24, 0, {}), std::nullopt},
        {"reading cut by the buffer", cut(descriptor(40, 1, {{0, 30}}), 39), std::nullopt},
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

TEST(StorageTemperature, SizeNeedsTheFirstEightBytes) {
    const auto data = descriptor(0x12345678, 1, {{0, 30}});
    EXPECT_EQ(storageTemperatureDescriptorSize(data), 0x12345678u);
    EXPECT_EQ(storageTemperatureDescriptorSize(std::span(data).first(8)), 0x12345678u);
    EXPECT_EQ(storageTemperatureDescriptorSize(std::span(data).first(7)), std::nullopt);
}

} // namespace
} // namespace qelrlibscsi
