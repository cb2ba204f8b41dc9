#include "suite/cpu/LogicalProcessorRecords.h"

#include <optional>

namespace libSysTopo::cpu {
namespace {

std::uint64_t readLittleEndian(std::span<const std::uint8_t> bytes, std::size_t offset,
                               std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value |= std::uint64_t{bytes[offset + i]} << (8 * i);
    }
    return value;
}

// The processors of a PROCESSOR_RELATIONSHIP record; nullopt when its group masks do not fit.
std::optional<std::vector<unsigned>> processorsOf(std::span<const std::uint8_t> record) {
    if (record.size() < glpi::kGroupMaskOffset) {
        return std::nullopt;
    }
    const std::size_t groups = readLittleEndian(record, glpi::kGroupCountOffset, 2);
    if (record.size() < glpi::kGroupMaskOffset + groups * glpi::kGroupAffinitySize) {
        return std::nullopt;
    }
    std::vector<unsigned> processors;
    for (std::size_t g = 0; g < groups; ++g) {
        const std::size_t at = glpi::kGroupMaskOffset + g * glpi::kGroupAffinitySize;
        const std::uint64_t mask = readLittleEndian(record, at, 8);
        const auto group = static_cast<unsigned>(readLittleEndian(record, at + 8, 2));
        for (unsigned bit = 0; bit < AffinityMask::kGroupSize; ++bit) {
            if ((mask >> bit) & 1u) {
                processors.push_back(group * AffinityMask::kGroupSize + bit);
            }
        }
    }
    return processors;
}

} // namespace

std::vector<PackageLayout> decodeLogicalProcessorRecords(std::span<const std::uint8_t> buffer) {
    std::vector<PackageLayout> packages;
    std::vector<AffinityMask> cores;
    std::size_t offset = 0;
    while (buffer.size() - offset >= glpi::kHeaderSize) {
        const auto relation = static_cast<std::uint32_t>(readLittleEndian(buffer, offset, 4));
        const std::size_t size = readLittleEndian(buffer, offset + 4, 4);
        if (size < glpi::kHeaderSize || size > buffer.size() - offset) {
            break;
        }
        const std::span<const std::uint8_t> record = buffer.subspan(offset, size);
        offset += size;
        if (relation != glpi::kRelationProcessorCore &&
            relation != glpi::kRelationProcessorPackage) {
            continue;
        }
        auto processors = processorsOf(record);
        if (!processors || processors->empty()) {
            continue;
        }
        if (relation == glpi::kRelationProcessorPackage) {
            PackageLayout package;
            package.id = static_cast<unsigned>(packages.size());
            package.mask = AffinityMask(std::move(*processors));
            packages.push_back(std::move(package));
        } else {
            cores.emplace_back(std::move(*processors));
        }
    }

    if (packages.empty() && !cores.empty()) {
        std::vector<unsigned> all;
        for (const AffinityMask& core : cores) {
            all.insert(all.end(), core.getProcessors().begin(), core.getProcessors().end());
        }
        packages.push_back(PackageLayout{0, AffinityMask(std::move(all)), {}});
    }
    for (AffinityMask& core : cores) {
        const unsigned first = core.getProcessors().front();
        for (PackageLayout& package : packages) {
            if (package.mask.contains(first)) {
                const auto number = static_cast<unsigned>(package.cores.size());
                package.cores.push_back(CoreLayout{number, std::move(core)});
                break;
            }
        }
    }
    return packages;
}

} // namespace libSysTopo::cpu
