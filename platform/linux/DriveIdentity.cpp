#include "platform/linux/DriveIdentity.h"

#include "platform/HexText.h"
#include "platform/linux/SysfsText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <system_error>

namespace platform {
namespace fs = std::filesystem;
using namespace sysfs;

std::string identifyText(const IdentifyBlock& block, std::size_t first, std::size_t words) {
    std::string text;
    for (std::size_t i = first; i < first + words; ++i) {
        for (const std::uint8_t c : {block[2 * i + 1], block[2 * i]}) {
            text.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : ' ');
        }
    }
    return std::string(trimText(text));
}

std::optional<IdentifyBlock> parseAtaIdText(std::string_view text) {
    IdentifyBlock block{};
    std::size_t words = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\n' || text[i] == '\t')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\n' && text[i] != '\t') {
            ++i;
        }
        if (i == start) {
            break;
        }
        const auto word = parseNumber<std::uint16_t>(text.substr(start, i - start), 16);
        if (!word || i - start != 4 || words == 256) {
            return std::nullopt;
        }
        block[words * 2] = static_cast<std::uint8_t>(*word & 0xFF);
        block[words * 2 + 1] = static_cast<std::uint8_t>(*word >> 8);
        ++words;
    }
    if (words != 256) {
        return std::nullopt;
    }
    return block;
}

std::optional<IdentifyBlock> readAtaIdentify(const BlockDevice& device) {
    const auto parts = pathComponents(device.devicePath);
    const auto ata = ataComponent(parts);
    const auto address = parseScsiAddress(device.scsiAddress);
    if (!ata || !address) {
        return std::nullopt;
    }
    // devicePath is relative to the sysfs root; sysDir ends with it.
    fs::path root = device.sysDir;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        root = root.parent_path();
    }
    const fs::path port = joinComponents(root, parts, *ata + 1);
    const std::string n(parts[*ata].substr(3));
    // libata puts an ordinary device at id = device number, a port-multiplier device at
    // channel = its PMP port.
    const std::string plain = "dev" + n + "." + std::to_string(address->target);
    const std::string pmp = "dev" + n + "." + std::to_string(address->channel) + ".0";
    const std::array<fs::path, 2> candidates = {
        port / ("link" + n) / plain / "ata_device" / plain / "id",
        port / ("link" + n + "." + std::to_string(address->channel)) / pmp / "ata_device" / pmp /
            "id"};
    for (const auto& candidate : candidates) {
        if (const auto text = readTextFile(candidate)) {
            if (auto block = parseAtaIdText(*text)) {
                return block;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> readVpdPage(const BlockDevice& device, std::uint8_t page) {
    const std::string name = "vpd_pg" + hexText(std::array{page});
    auto bytes = readSysBytes(device.sysDir / "device" / name, 0x10000);
    if (!bytes || bytes->size() < 4 || (*bytes)[1] != page) {
        return std::nullopt;
    }
    return bytes;
}

std::string vpdSerial(const std::vector<std::uint8_t>& page) {
    if (page.size() < 4 || page[1] != 0x80) {
        return {};
    }
    const std::size_t length = std::min<std::size_t>((page[2] << 8) | page[3], page.size() - 4);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = static_cast<char>(page[4 + i]);
        text.push_back(c >= 0x20 && c < 0x7F ? c : ' ');
    }
    return std::string(trimText(text));
}

} // namespace platform
