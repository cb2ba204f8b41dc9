#include "platform/linux/SysBlock.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <set>
#include <system_error>

namespace platform {
namespace fs = std::filesystem;

namespace {

std::string trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

template <typename T> std::optional<T> parseNumber(std::string_view text, int base = 10) {
    const std::string trimmed = trimBlanks(text);
    T value{};
    const auto [end, error] =
        std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value, base);
    if (error != std::errc{} || end != trimmed.data() + trimmed.size() || trimmed.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> readTrimmed(const fs::path& file) {
    auto text = readSysAttribute(file);
    if (!text) {
        return std::nullopt;
    }
    return trimBlanks(*text);
}

std::string readTrimmedOr(const fs::path& file) {
    return readTrimmed(file).value_or("");
}

std::string linkName(const fs::path& link) {
    std::error_code error;
    const fs::path target = fs::read_symlink(link, error);
    return error ? std::string() : target.filename().string();
}

std::vector<std::string_view> pathComponents(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const auto slash = path.find('/');
        if (slash != 0) {
            parts.push_back(path.substr(0, slash));
        }
        if (slash == std::string_view::npos) {
            break;
        }
        path.remove_prefix(slash + 1);
    }
    return parts;
}

bool isNumbered(std::string_view component, std::string_view prefix) {
    if (!component.starts_with(prefix) || component.size() == prefix.size()) {
        return false;
    }
    return std::all_of(component.begin() + static_cast<std::ptrdiff_t>(prefix.size()),
                       component.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The "ataN" component of a device path and its index, if the device sits behind libata.
std::optional<std::size_t> ataComponent(const std::vector<std::string_view>& parts) {
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (isNumbered(parts[i], "ata")) {
            return i;
        }
    }
    return std::nullopt;
}

fs::path joinComponents(const fs::path& sys, const std::vector<std::string_view>& parts,
                        std::size_t count) {
    fs::path result = sys;
    for (std::size_t i = 0; i < count && i < parts.size(); ++i) {
        result /= std::string(parts[i]);
    }
    return result;
}

// The serial of a SCSI unit serial number page (0x80): bounded by the page and its length.
std::string serialFromVpd80(const std::vector<std::uint8_t>& page) {
    if (page.size() < 4 || page[1] != 0x80) {
        return {};
    }
    const std::size_t length = std::min<std::size_t>((page[2] << 8) | page[3], page.size() - 4);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = static_cast<char>(page[4 + i]);
        text.push_back(c >= 0x20 && c < 0x7F ? c : ' ');
    }
    return trimBlanks(text);
}

bool shorterFirst(const BlockDevice& a, const BlockDevice& b) {
    if (a.name.size() != b.name.size()) {
        return a.name.size() < b.name.size();
    }
    return a.name < b.name;
}

// Windows device identifiers: upper case, blanks and separators as underscores.
std::string idText(std::string_view text) {
    std::string out;
    for (const char c : trimBlanks(text)) {
        if (c <= 0x20 || c >= 0x7F || c == ',' || c == '&' || c == '\\' || c == '#' || c == '/') {
            out.push_back('_');
        } else if (c >= 'a' && c <= 'z') {
            out.push_back(static_cast<char>(c - 32));
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string paddedIdText(std::string_view text, std::size_t width) {
    std::string out = idText(text);
    if (out.size() < width) {
        out.append(width - out.size(), '_');
    }
    return out;
}

std::uint32_t fnv1a(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash ^= static_cast<std::uint8_t>(c);
        hash *= 16777619u;
    }
    return hash;
}

std::string hex8(std::uint32_t value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out(8, '0');
    for (int i = 7; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = digits[value & 0xF];
        value >>= 4;
    }
    return out;
}

// The device path without its trailing "block/<name>": what the disk hangs off.
std::string parentPath(const BlockDevice& device) {
    std::string_view path = device.devicePath;
    const std::string tail = "/block/" + device.name;
    if (path.ends_with(tail)) {
        path.remove_suffix(tail.size());
    }
    return std::string(path);
}

struct ScsiAddress {
    unsigned host = 0, channel = 0, target = 0, lun = 0;
};

std::optional<ScsiAddress> parseScsiAddress(std::string_view text) {
    ScsiAddress address;
    unsigned* fields[] = {&address.host, &address.channel, &address.target, &address.lun};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto colon = text.find(':');
        if ((colon == std::string_view::npos) != (i == 3)) {
            return std::nullopt;
        }
        const auto value = parseNumber<unsigned>(text.substr(0, colon));
        if (!value) {
            return std::nullopt;
        }
        *fields[i] = *value;
        if (colon != std::string_view::npos) {
            text.remove_prefix(colon + 1);
        }
    }
    return address;
}

std::string twoHex(unsigned value) {
    return hex8(value & 0xFF).substr(6);
}

std::optional<int> millidegrees(const fs::path& file) {
    const auto value = readTrimmed(file);
    if (!value) {
        return std::nullopt;
    }
    const auto milli = parseNumber<long long>(*value);
    if (!milli) {
        return std::nullopt;
    }
    return static_cast<int>(std::lround(static_cast<double>(*milli) / 1000.0));
}

std::vector<fs::path> hwmonDirectories(const fs::path& device) {
    std::vector<fs::path> found;
    std::error_code error;
    for (const fs::path& base : {device / "hwmon", device}) {
        for (fs::directory_iterator it(base, error), end; !error && it != end;
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (isNumbered(name, "hwmon")) {
                found.push_back(it->path());
            }
        }
        error.clear();
    }
    std::sort(found.begin(), found.end());
    return found;
}

// An IDENTIFY text field: `words` words from `first`, the first character of each pair in the
// high byte, blank-trimmed.
std::string identifyText(const IdentifyBlock& block, std::size_t first, std::size_t words) {
    std::string text;
    for (std::size_t i = first; i < first + words; ++i) {
        for (const std::uint8_t c : {block[2 * i + 1], block[2 * i]}) {
            text.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : ' ');
        }
    }
    return trimBlanks(text);
}

} // namespace

std::optional<std::string> readSysAttribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string line;
    if (!std::getline(in, line) && !in.eof()) {
        return std::nullopt;
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return line;
}

std::optional<std::vector<std::uint8_t>> readSysBytes(const fs::path& file, std::size_t limit) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(limit);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(limit));
    if (in.bad()) {
        return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

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

std::optional<BlockDevice> readBlockDevice(const fs::path& sys, std::string_view name) {
    if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..") {
        return std::nullopt;
    }
    std::error_code error;
    fs::path dir = fs::canonical(sys / "class" / "block" / std::string(name), error);
    if (error) {
        dir = fs::canonical(sys / "block" / std::string(name), error);
    }
    if (error) {
        return std::nullopt;
    }
    const fs::path root = fs::canonical(sys, error);
    if (error) {
        return std::nullopt;
    }

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
        const fs::path unit = fs::canonical(deviceDir, error);
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

    device.serial = readTrimmedOr(dir / "serial");
    if (device.serial.empty()) {
        device.serial = readTrimmedOr(deviceDir / "serial");
    }
    if (device.serial.empty()) {
        if (const auto page = readSysBytes(deviceDir / "vpd_pg80")) {
            device.serial = serialFromVpd80(*page);
        }
    }

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

BlockInventory scanBlockInventory(const fs::path& sys) {
    BlockInventory inventory;
    std::error_code error;
    for (fs::directory_iterator it(sys / "block", error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        const bool cdrom = name.starts_with("sr");
        if (!cdrom && !isInventoryDiskName(name)) {
            continue;
        }
        if (readTrimmedOr(it->path() / "hidden") == "1") {
            continue; // NVMe multipath per-path nodes: the shared head stands for the disk
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
        const fs::path dir = fs::canonical(sys / "class" / "block" / node, error);
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
            std::vector<std::string> slaves;
            for (fs::directory_iterator it(dir / "slaves", error), end; !error && it != end;
                 it.increment(error)) {
                slaves.push_back(it->path().filename().string());
            }
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

std::string_view enumeratorName(StorageBus bus) {
    switch (bus) {
    case StorageBus::Pata:
        return "IDE";
    case StorageBus::Usb:
        return "USBSTOR";
    case StorageBus::Sd:
    case StorageBus::Mmc:
        return "SD";
    default:
        // The storage port drivers (storahci, stornvme, storport miniports) enumerate as SCSI.
        return "SCSI";
    }
}

std::uint32_t windowsBusType(StorageBus bus) {
    switch (bus) {
    case StorageBus::Scsi:
    case StorageBus::Virtio: // the virtio block miniport registers itself as a SCSI bus
    case StorageBus::Xen:
        return 0x01;
    case StorageBus::Pata:
        return 0x03;
    case StorageBus::Fibre:
        return 0x06;
    case StorageBus::Usb:
        return 0x07;
    case StorageBus::Iscsi:
        return 0x09;
    case StorageBus::Sas:
        return 0x0A;
    case StorageBus::Sata:
        return 0x0B;
    case StorageBus::Sd:
        return 0x0C;
    case StorageBus::Mmc:
        return 0x0D;
    case StorageBus::Nvme:
        return 0x11;
    case StorageBus::Unknown:
        break;
    }
    return 0x00;
}

std::string friendlyName(const BlockDevice& device) {
    // A SCSI-ATA translation layer reports "ATA" as the vendor: it names no maker.
    const bool vendorNamed = !device.vendor.empty() && device.vendor != "ATA";
    if (!device.model.empty()) {
        return vendorNamed ? device.vendor + " " + device.model : device.model;
    }
    if (vendorNamed) {
        return device.vendor + " Disk Device";
    }
    switch (device.bus) {
    case StorageBus::Virtio:
        return "Virtio Block Device";
    case StorageBus::Xen:
        return "Xen Virtual Block Device";
    case StorageBus::Nvme:
        return "NVMe Disk Device";
    case StorageBus::Sd:
        return "SD Memory Card";
    case StorageBus::Mmc:
        return "MMC Memory Card";
    case StorageBus::Usb:
        return "USB Disk Device";
    case StorageBus::Pata:
    case StorageBus::Sata:
        return "ATA Disk Device";
    case StorageBus::Sas:
    case StorageBus::Scsi:
    case StorageBus::Iscsi:
    case StorageBus::Fibre:
        return "SCSI Disk Device";
    case StorageBus::Unknown:
        break;
    }
    return device.driver.empty() ? device.name + " Disk Device" : device.driver + " Disk Device";
}

std::string deviceInstanceId(const BlockDevice& device) {
    const std::string parent = parentPath(device);
    const std::string hash = hex8(fnv1a(parent));
    const auto address = parseScsiAddress(device.scsiAddress);
    const std::string product = device.model.empty() ? friendlyName(device) : device.model;
    switch (device.bus) {
    case StorageBus::Pata: {
        const ScsiAddress a = address.value_or(ScsiAddress{});
        return "IDE\\DISK" + paddedIdText(device.model, 40) + paddedIdText(device.revision, 8) +
               "\\5&" + hash + "&0&" + std::to_string(a.channel) + "." + std::to_string(a.target) +
               "." + std::to_string(a.lun);
    }
    case StorageBus::Usb: {
        const std::string unique = device.serial.empty() ? "7&" + hash : idText(device.serial);
        return "USBSTOR\\DISK&VEN_" + idText(device.vendor) + "&PROD_" + idText(product) + "&REV_" +
               idText(device.revision) + "\\" + unique + "&0";
    }
    default: {
        const ScsiAddress a = address.value_or(ScsiAddress{});
        return std::string(enumeratorName(device.bus)) + "\\DISK&VEN_" + idText(device.vendor) +
               "&PROD_" + idText(product) + "\\4&" + hash + "&0&" + twoHex(a.channel) +
               twoHex(a.target) + twoHex(a.lun);
    }
    }
}

std::string diskInterfacePath(std::string_view instanceId) {
    std::string path = "\\\\?\\";
    for (const char c : instanceId) {
        if (c == '\\') {
            path.push_back('#');
        } else if (c >= 'A' && c <= 'Z') {
            path.push_back(static_cast<char>(c + 32));
        } else {
            path.push_back(c);
        }
    }
    path += "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    return path;
}

std::vector<TemperatureSensor> readDriveTemperatures(const BlockDevice& device) {
    std::vector<TemperatureSensor> sensors;
    for (const fs::path& hwmon : hwmonDirectories(device.sysDir / "device")) {
        for (int index = 1; index <= 8; ++index) {
            const std::string prefix = "temp" + std::to_string(index) + "_";
            const auto current = millidegrees(hwmon / (prefix + "input"));
            if (!current) {
                continue;
            }
            TemperatureSensor sensor;
            sensor.celsius = *current;
            sensor.warning = millidegrees(hwmon / (prefix + "max"));
            sensor.critical = millidegrees(hwmon / (prefix + "crit"));
            sensor.minimum = millidegrees(hwmon / (prefix + "min"));
            sensors.push_back(sensor);
        }
    }
    return sensors;
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
        std::ifstream in(candidate);
        if (!in) {
            continue;
        }
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (auto block = parseAtaIdText(text)) {
            return block;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> readVpdPage(const BlockDevice& device, std::uint8_t page) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string name = "vpd_pg";
    name.push_back(digits[page >> 4]);
    name.push_back(digits[page & 0xF]);
    auto bytes = readSysBytes(device.sysDir / "device" / name, 0x10000);
    if (!bytes || bytes->size() < 4 || (*bytes)[1] != page) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace platform
