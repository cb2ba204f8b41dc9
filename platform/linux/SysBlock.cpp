#include "platform/linux/SysBlock.h"

#include "platform/linux/DriveIdentity.h"
#include "platform/linux/SysfsText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <system_error>

namespace platform {
namespace fs = std::filesystem;
using namespace sysfs;

namespace {

std::string readTrimmedOr(const fs::path& file) {
    return readTrimmed(file).value_or("");
}

std::string linkName(const fs::path& link) {
    std::error_code error;
    const fs::path target = fs::read_symlink(link, error);
    return error ? std::string() : target.filename().string();
}

std::string readSerial(const BlockDevice& device) {
    std::string serial = readTrimmedOr(device.sysDir / "serial");
    if (serial.empty()) {
        serial = readTrimmedOr(device.sysDir / "device" / "serial");
    }
    if (serial.empty() && device.vpd80) {
        serial = vpdSerial(*device.vpd80);
    }
    return serial;
}

bool shorterFirst(const BlockDevice& a, const BlockDevice& b) {
    if (a.name.size() != b.name.size()) {
        return a.name.size() < b.name.size();
    }
    return a.name < b.name;
}

} // namespace

bool isInventoryDiskName(std::string_view name) {
    static constexpr std::array<std::string_view, 13> excluded = {
        "loop", "ram",  "zram",   "dm-",   "md", "nbd", "zd",
        "rbd",  "drbd", "bcache", "nullb", "fd", "sr"};
    for (const auto prefix : excluded) {
        if (name.starts_with(prefix)) {
            return false;
        }
    }
    if (name.starts_with("mmcblk") && (name.find("boot") != std::string_view::npos ||
                                       name.find("rpmb") != std::string_view::npos)) {
        return false;
    }
    return !name.empty();
}

StorageBus classifyBus(const BusClues& clues) {
    if (clues.name.starts_with("nvme") || clues.subsystem == "nvme") {
        return StorageBus::Nvme;
    }
    if (clues.name.starts_with("mmcblk") || clues.subsystem == "mmc") {
        return clues.mmcType == "MMC" ? StorageBus::Mmc : StorageBus::Sd;
    }
    if (clues.name.starts_with("xvd") || clues.subsystem == "xen") {
        return StorageBus::Xen;
    }
    if (clues.subsystem == "virtio") {
        return StorageBus::Virtio;
    }
    const auto parts = pathComponents(clues.devicePath);
    const auto has = [&parts](auto predicate) {
        return std::any_of(parts.begin(), parts.end(), predicate);
    };
    if (has([](std::string_view p) { return isNumbered(p, "usb"); })) {
        return StorageBus::Usb;
    }
    if (ataComponent(parts)) {
        // libata reports "<unknown>" for parallel links; a SATA link reports its speed.
        if (clues.sataSpeed && *clues.sataSpeed == "<unknown>") {
            return StorageBus::Pata;
        }
        return StorageBus::Sata;
    }
    if (has([](std::string_view p) {
            return p.starts_with("end_device-") || p.starts_with("expander-");
        })) {
        return StorageBus::Sas;
    }
    if (has([](std::string_view p) { return p.starts_with("rport-"); })) {
        return StorageBus::Fibre;
    }
    if (has([](std::string_view p) { return isNumbered(p, "session"); })) {
        return StorageBus::Iscsi;
    }
    if (clues.subsystem == "scsi") {
        return StorageBus::Scsi;
    }
    return StorageBus::Unknown;
}

namespace {

BlockDevice readAttributes(const fs::path& dir, const fs::path& root, std::string_view name);

// The sysfs root with its links resolved, asked of the kernel once per root; empty when it
// does not exist.
fs::path resolvedRoot(const fs::path& sys) {
    static std::mutex mutex;
    static std::map<fs::path, fs::path> resolved;
    std::lock_guard lock(mutex);
    if (const auto it = resolved.find(sys); it != resolved.end()) {
        return it->second;
    }
    std::error_code error;
    const fs::path root = resolvedPath(sys, error);
    if (error) {
        return {};
    }
    return resolved.emplace(sys, root).first->second;
}

} // namespace

std::optional<BlockDevice> readBlockDevice(const fs::path& sys, std::string_view name) {
    if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..") {
        return std::nullopt;
    }
    // What a disk is does not change while it is attached, and some attributes ask the device
    // (a virtio disk's serial is a round trip to the host): a disk the kernel numbered (diskseq,
    // never reused while it runs) is read once, then only its size, which follows the medium.
    static std::mutex mutex;
    static std::map<std::string, BlockDevice> known; // by sysfs root, name and diskseq
    const fs::path link = sys / "class" / "block" / std::string(name);
    const auto sequence = readTrimmed(link / "diskseq");
    const std::string key = sys.string() + '\n' + std::string(name) + '\n' + sequence.value_or("");
    if (sequence) {
        std::unique_lock lock(mutex);
        if (const auto it = known.find(key); it != known.end()) {
            BlockDevice device = it->second;
            lock.unlock();
            device.sectors =
                parseNumber<std::uint64_t>(readTrimmedOr(device.sysDir / "size")).value_or(0);
            return device;
        }
    }
    std::error_code error;
    fs::path dir = resolvedPath(link, error);
    if (error) {
        dir = resolvedPath(sys / "block" / std::string(name), error);
    }
    if (error) {
        return std::nullopt;
    }
    const fs::path root = resolvedRoot(sys);
    if (root.empty()) {
        return std::nullopt;
    }
    BlockDevice device = readAttributes(dir, root, name);
    if (sequence) {
        std::lock_guard lock(mutex);
        known.emplace(key, device);
    }
    return device;
}

namespace {

BlockDevice readAttributes(const fs::path& dir, const fs::path& root, std::string_view name) {
    BlockDevice device;
    device.name = std::string(name);
    device.sysDir = dir;
    device.devicePath = dir.lexically_relative(root).generic_string();

    const std::string dev = readTrimmedOr(dir / "dev");
    const auto colon = dev.find(':');
    if (colon != std::string::npos) {
        device.major = parseNumber<unsigned>(std::string_view(dev).substr(0, colon)).value_or(0);
        device.minor = parseNumber<unsigned>(std::string_view(dev).substr(colon + 1)).value_or(0);
    }
    device.sectors = parseNumber<std::uint64_t>(readTrimmedOr(dir / "size")).value_or(0);
    device.removable = readTrimmedOr(dir / "removable") == "1";
    device.readOnly = readTrimmedOr(dir / "ro") == "1";
    device.logicalBlockSize =
        parseNumber<std::uint32_t>(readTrimmedOr(dir / "queue" / "logical_block_size"))
            .value_or(512);
    if (device.logicalBlockSize == 0) {
        device.logicalBlockSize = 512;
    }

    const fs::path deviceDir = dir / "device";
    const std::string subsystem = linkName(deviceDir / "subsystem");
    device.driver = linkName(deviceDir / "driver");
    if (device.driver.empty()) {
        device.driver =
            linkName(deviceDir / "device" / "driver"); // NVMe: the controller's PCI driver
    }
    if (subsystem == "scsi") {
        device.vendor = readTrimmedOr(deviceDir / "vendor");
        device.model = readTrimmedOr(deviceDir / "model");
        device.revision = readTrimmedOr(deviceDir / "rev");
        device.scsiLevel =
            parseNumber<std::uint32_t>(readTrimmedOr(deviceDir / "scsi_level")).value_or(0);
        device.commandQueueing =
            parseNumber<std::uint32_t>(readTrimmedOr(deviceDir / "queue_depth")).value_or(0) > 1;
        std::error_code error;
        const fs::path unit = resolvedPath(deviceDir, error);
        if (!error && parseScsiAddress(unit.filename().string())) {
            device.scsiAddress = unit.filename().string();
        }
        device.cdrom = readTrimmedOr(deviceDir / "type") == "5";
    } else if (subsystem == "nvme") {
        device.model = readTrimmedOr(deviceDir / "model");
        device.revision = readTrimmedOr(deviceDir / "firmware_rev");
        device.commandQueueing = true;
    } else if (subsystem == "mmc") {
        device.model = readTrimmedOr(deviceDir / "name");
        device.revision = readTrimmedOr(deviceDir / "fwrev");
    }
    if (name.starts_with("sr")) {
        device.cdrom = true;
    }

    device.vpd80 = readVpdPage(device, 0x80);
    device.vpd83 = readVpdPage(device, 0x83);
    device.serial = readSerial(device);

    BusClues clues;
    clues.name = device.name;
    clues.devicePath = device.devicePath;
    clues.subsystem = subsystem;
    const std::string mmcType = readTrimmedOr(deviceDir / "type");
    clues.mmcType = mmcType;
    std::optional<std::string> speed;
    const auto parts = pathComponents(device.devicePath);
    if (const auto ata = ataComponent(parts)) {
        const std::string port(parts[*ata].substr(3));
        speed = readTrimmed(joinComponents(root, parts, *ata + 1) / ("link" + port) / "ata_link" /
                            ("link" + port) / "sata_spd");
    }
    if (speed) {
        clues.sataSpeed = *speed;
    }
    device.bus = classifyBus(clues);
    if (device.bus == StorageBus::Pata) {
        // The SCSI translation cuts the model to 16 and the firmware to 4 characters; the IDE
        // enumerator names and keys the disk by the whole IDENTIFY texts.
        if (const auto identify = readAtaIdentify(device)) {
            if (auto model = identifyText(*identify, 27, 20); !model.empty()) {
                device.model = std::move(model);
            }
            if (auto firmware = identifyText(*identify, 23, 4); !firmware.empty()) {
                device.revision = std::move(firmware);
            }
        }
    }
    return device;
}

} // namespace

BlockInventory scanBlockInventory(const fs::path& sys) {
    BlockInventory inventory;
    const fs::path block = sys / "block";
    for (const auto& name : directoryNames(block).value_or(std::vector<std::string>{})) {
        const bool cdrom = name.starts_with("sr");
        if (!cdrom && !isInventoryDiskName(name)) {
            continue;
        }
        // NVMe multipath per-path nodes, the only ones the kernel hides: the shared head stands
        // for the disk.
        if (name.starts_with("nvme") && readTrimmedOr(block / name / "hidden") == "1") {
            continue;
        }
        auto device = readBlockDevice(sys, name);
        if (!device) {
            continue;
        }
        (device->cdrom ? inventory.cdroms : inventory.disks).push_back(std::move(*device));
    }
    std::sort(inventory.disks.begin(), inventory.disks.end(), shorterFirst);
    std::sort(inventory.cdroms.begin(), inventory.cdroms.end(), shorterFirst);
    return inventory;
}

BlockPlacement placeBlockDevice(const fs::path& sys, std::string_view name) {
    BlockPlacement placement;
    std::set<std::string> seen;
    std::vector<std::pair<std::string, int>> pending{{std::string(name), 0}};
    bool top = true;
    while (!pending.empty()) {
        auto [node, depth] = pending.back();
        pending.pop_back();
        std::error_code error;
        const fs::path dir = resolvedPath(sys / "class" / "block" / node, error);
        if (error || depth > 8) {
            top = false;
            continue;
        }
        if (const auto partition = readTrimmed(dir / "partition")) {
            if (top) {
                placement.partition = parseNumber<std::uint32_t>(*partition).value_or(0);
            }
            node = dir.parent_path().filename().string();
        } else {
            auto slaves = directoryNames(dir / "slaves").value_or(std::vector<std::string>{});
            if (!slaves.empty()) {
                std::sort(slaves.begin(), slaves.end());
                for (auto& slave : slaves) {
                    pending.emplace_back(std::move(slave), depth + 1);
                }
                top = false;
                continue;
            }
        }
        top = false;
        if (seen.insert(node).second) {
            placement.wholeDevices.push_back(node);
        }
    }
    return placement;
}

} // namespace platform
