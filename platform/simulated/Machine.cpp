#include "platform/simulated/Machine.h"

#include "platform/HexText.h"
#include "platform/StorageDescriptor.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <span>
#include <sstream>
#include <utility>

namespace platform::simulated {
namespace {

using nlohmann::json;

constexpr std::uint64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kMaxU64 = std::numeric_limits<std::uint64_t>::max();

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw MachineError(path + ": " + what);
}

bool isIdentifier(std::string_view key) {
    if (key.empty() || (key[0] >= '0' && key[0] <= '9')) {
        return false;
    }
    for (const char c : key) {
        const bool word =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!word) {
            return false;
        }
    }
    return true;
}

// A member's path: `.name` for plain names, else the key as the file spells it, in brackets.
std::string memberPath(const std::string& path, std::string_view key) {
    if (isIdentifier(key)) {
        return path + "." + std::string(key);
    }
    return path + "[" + json(std::string(key)).dump() + "]";
}

std::string elementPath(const std::string& path, std::size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

std::uint64_t readUnsigned(const json& value, const std::string& path,
                           std::uint64_t max = kMaxU64) {
    const bool integer =
        value.is_number_unsigned() || (value.is_number_integer() && value.get<std::int64_t>() >= 0);
    if (!integer || value.get<std::uint64_t>() > max) {
        fail(path, max == kMaxU64 ? "expected an unsigned integer"
                                  : "expected an unsigned integer up to " + std::to_string(max));
    }
    return value.get<std::uint64_t>();
}

std::uint64_t readU64(const json& value, const std::string& path) {
    return readUnsigned(value, path);
}

std::uint32_t readU32(const json& value, const std::string& path) {
    return static_cast<std::uint32_t>(readUnsigned(value, path, kMaxU32));
}

std::uint8_t readU8(const json& value, const std::string& path) {
    return static_cast<std::uint8_t>(readUnsigned(value, path, 0xFF));
}

std::int64_t readInteger(const json& value, const std::string& path, std::int64_t min,
                         std::int64_t max) {
    const std::string expected =
        "expected an integer from " + std::to_string(min) + " to " + std::to_string(max);
    if (value.is_number_unsigned()) {
        if (value.get<std::uint64_t>() > static_cast<std::uint64_t>(max)) {
            fail(path, expected);
        }
        return static_cast<std::int64_t>(value.get<std::uint64_t>());
    }
    if (!value.is_number_integer()) {
        fail(path, expected);
    }
    const auto number = value.get<std::int64_t>();
    if (number < min || number > max) {
        fail(path, expected);
    }
    return number;
}

double readNumber(const json& value, const std::string& path) {
    if (!value.is_number()) {
        fail(path, "expected a number");
    }
    return value.get<double>();
}

bool readBool(const json& value, const std::string& path) {
    if (!value.is_boolean()) {
        fail(path, "expected true or false");
    }
    return value.get<bool>();
}

std::u16string readText(const json& value, const std::string& path) {
    if (!value.is_string()) {
        fail(path, "expected a string");
    }
    auto text = platform::utf8ToUtf16Strict(value.get_ref<const std::string&>());
    if (!text) {
        fail(path, "invalid UTF-8");
    }
    return *text;
}

// Text that goes on the wire as single bytes.
std::string readByteText(const json& value, const std::string& path,
                         std::size_t maxLength = std::string::npos) {
    const std::u16string text = readText(value, path);
    std::string bytes;
    for (const char16_t c : text) {
        if (c > 0xFF) {
            fail(path, "expected characters from U+0000 to U+00FF (one byte each)");
        }
        bytes.push_back(static_cast<char>(c));
    }
    if (bytes.size() > maxLength) {
        fail(path, "expected at most " + std::to_string(maxLength) + " characters");
    }
    return bytes;
}

// An object whose keys are all known; members read through it carry their paths.
class ObjectReader {
public:
    ObjectReader(const json& value, std::string path, std::initializer_list<std::string_view> keys)
        : ObjectReader(value, std::move(path), std::span(keys.begin(), keys.size())) {}
    ObjectReader(const json& value, std::string path, std::span<const std::string_view> keys)
        : value_(value), path_(std::move(path)) {
        if (!value_.is_object()) {
            fail(path_, "expected an object");
        }
        for (const auto& [key, member] : value_.items()) {
            bool known = false;
            for (const auto allowed : keys) {
                known = known || key == allowed;
            }
            if (!known) {
                fail(memberPath(path_, key), "unknown key");
            }
        }
    }

    std::string pathOf(std::string_view key) const { return memberPath(path_, key); }
    bool contains(std::string_view key) const { return value_.contains(key); }

    // Null when the key is missing or null.
    const json* find(std::string_view key) const {
        const auto it = value_.find(key);
        if (it == value_.end() || it->is_null()) {
            return nullptr;
        }
        return &*it;
    }

    template <typename Read>
    auto optional(std::string_view key, Read read) const
        -> std::optional<decltype(read(std::declval<const json&>(), std::string()))> {
        const json* member = find(key);
        if (member == nullptr) {
            return std::nullopt;
        }
        return read(*member, pathOf(key));
    }

    template <typename T, typename Read>
    void read(std::string_view key, T& target, Read read) const {
        if (const json* member = find(key)) {
            target = read(*member, pathOf(key));
        }
    }

private:
    const json& value_;
    std::string path_;
};

template <typename Read>
void forEachElement(const json& value, const std::string& path, Read read) {
    if (!value.is_array()) {
        fail(path, "expected an array");
    }
    for (std::size_t i = 0; i < value.size(); ++i) {
        read(value[i], elementPath(path, i));
    }
}

MemoryState readMemory(const json& value, const std::string& path) {
    const ObjectReader object(value, path, {"load", "totalPhys", "availPhys"});
    MemoryState memory;
    object.read("load", memory.load, readU32);
    object.read("totalPhys", memory.totalPhys, readU64);
    object.read("availPhys", memory.availPhys, readU64);
    return memory;
}

void readWindows(StorageFacts& storage, const json& value, const std::string& path) {
    const ObjectReader object(value, path, {"systemDirectory", "moduleFileName"});
    storage.systemDirectory = object.optional("systemDirectory", readText);
    storage.moduleFileName = object.optional("moduleFileName", readText);
}

TemperatureFact readTemperature(const ObjectReader& object) {
    TemperatureFact fact;
    const json* value = object.find("temperature");
    if (value == nullptr) {
        return fact;
    }
    if (value->is_string() && value->get_ref<const std::string&>() == "fail") {
        fact.kind = TemperatureFact::Kind::Fails;
        return fact;
    }
    if (!value->is_number_integer()) {
        fail(object.pathOf("temperature"), "expected an integer or \"fail\"");
    }
    fact.kind = TemperatureFact::Kind::Reading;
    fact.celsius = static_cast<int>(readInteger(*value, object.pathOf("temperature"),
                                                std::numeric_limits<std::int32_t>::min(),
                                                std::numeric_limits<std::int32_t>::max()));
    return fact;
}

SignatureFacts readSignature(const json& value, const std::string& path) {
    const ObjectReader object(
        value, path, {"signature", "family", "model", "stepping", "extFamily", "extModel"});
    SignatureFacts signature;
    object.read("signature", signature.signature, readU32);
    object.read("family", signature.family, readU8);
    object.read("model", signature.model, readU8);
    object.read("stepping", signature.stepping, readU8);
    object.read("extFamily", signature.extFamily, readU8);
    object.read("extModel", signature.extModel, readU8);
    return signature;
}

SpeedFacts readSpeed(const json& value, const std::string& path) {
    const ObjectReader object(value, path,
                              {"ratioPrecision", "currentRatio", "ratioLow", "ratioHigh",
                               "currentSpeedHz", "busSpeedHz", "fsbSpeedHz", "coreVoltage",
                               "voltagePrecision"});
    SpeedFacts speed;
    object.read("ratioPrecision", speed.ratioPrecision, readU32);
    object.read("currentRatio", speed.currentRatio, readNumber);
    object.read("ratioLow", speed.ratioLow, readNumber);
    object.read("ratioHigh", speed.ratioHigh, readNumber);
    object.read("currentSpeedHz", speed.currentSpeedHz, readU64);
    object.read("busSpeedHz", speed.busSpeedHz, readU64);
    object.read("fsbSpeedHz", speed.fsbSpeedHz, readU64);
    object.read("coreVoltage", speed.coreVoltage, readNumber);
    object.read("voltagePrecision", speed.voltagePrecision,
                [](const json& v, const std::string& p) {
                    return static_cast<std::int32_t>(
                        readInteger(v, p, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max()));
                });
    return speed;
}

CoreFacts readCore(const json& value, const std::string& path) {
    const ObjectReader object(value, path, {"number", "temperature", "usage"});
    CoreFacts core;
    object.read("number", core.number, readU32);
    core.temperature = readTemperature(object);
    core.usage = object.optional("usage", readU32);
    return core;
}

PackageFacts readPackage(const json& value, const std::string& path) {
    const ObjectReader object(
        value, path, {"name", "signature", "revision", "speed", "temperature", "usage", "cores"});
    PackageFacts package;
    object.read("name", package.name, readText);
    object.read("signature", package.signature, readSignature);
    package.revision = object.optional("revision", readText);
    package.speed = object.optional("speed", readSpeed);
    package.temperature = readTemperature(object);
    package.usage = object.optional("usage", readU32);
    if (const json* cores = object.find("cores")) {
        forEachElement(*cores, object.pathOf("cores"), [&](const json& v, const std::string& p) {
            package.cores.push_back(readCore(v, p));
        });
    }
    return package;
}

ProcessorFacts readCpu(const json& value, const std::string& path) {
    const ObjectReader object(value, path, {"usageMeter", "packages"});
    ProcessorFacts cpu;
    object.read("usageMeter", cpu.usageMeter, readBool);
    if (const json* packages = object.find("packages")) {
        forEachElement(*packages, object.pathOf("packages"),
                       [&](const json& v, const std::string& p) {
                           cpu.packages.push_back(readPackage(v, p));
                       });
    }
    return cpu;
}

VolumeFacts readVolume(const json& value, const std::string& path) {
    const ObjectReader object(value, path, {"label", "serial", "fileSystem", "flags"});
    VolumeFacts volume;
    object.read("label", volume.label, readText);
    object.read("serial", volume.serial, readU32);
    object.read("fileSystem", volume.fileSystem, readText);
    object.read("flags", volume.flags, readU32);
    return volume;
}

SpaceFacts readSpace(const json& value, const std::string& path) {
    const ObjectReader object(value, path, {"total", "free", "available"});
    SpaceFacts space;
    object.read("total", space.total, readU64);
    object.read("free", space.free, readU64);
    object.read("available", space.available, readU64);
    return space;
}

LetterFacts readDrive(const json& value, const std::string& path) {
    const ObjectReader object(value, path,
                              {"type", "network", "openable", "deviceNumber", "volume", "space"});
    LetterFacts drive;
    drive.type = 0;
    object.read("type", drive.type, readU32);
    object.read("network", drive.network, [](const json& v, const std::string& p) {
        return static_cast<int>(readInteger(v, p, 0, 2));
    });
    object.read("openable", drive.openable, readBool);
    if (const auto number = object.optional("deviceNumber", readU32)) {
        // A letter's volume is the first partition of its disk.
        drive.deviceNumber = DeviceNumberFacts{static_cast<std::uint32_t>(drive.type == DRIVE_CDROM
                                                                              ? FILE_DEVICE_CD_ROM
                                                                              : FILE_DEVICE_DISK),
                                               *number, 1};
    }
    drive.volume = object.optional("volume", readVolume);
    drive.space = object.optional("space", readSpace);
    return drive;
}

void appendUtf16Le(std::vector<std::uint8_t>& data, std::u16string_view text) {
    for (const char16_t c : text) {
        data.push_back(static_cast<std::uint8_t>(c & 0xFF));
        data.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    data.push_back(0);
    data.push_back(0);
}

// "text" (REG_SZ), or { "type": N, "value": text | [texts] | number }.
RegistryValue readRegistryValue(const json& value, const std::string& path) {
    if (value.is_string()) {
        return registryText(readText(value, path));
    }
    RegistryValue result;
    if (!value.is_object()) {
        fail(path, "expected a string or an object with \"type\" and \"value\"");
    }
    const ObjectReader object(value, path, {"type", "value"});
    object.read("type", result.type, readU32);
    const json* data = object.find("value");
    if (data == nullptr) {
        return result;
    }
    const std::string dataPath = object.pathOf("value");
    if (data->is_string()) {
        appendUtf16Le(result.data, readText(*data, dataPath));
    } else if (data->is_array()) {
        forEachElement(*data, dataPath, [&](const json& v, const std::string& p) {
            appendUtf16Le(result.data, readText(v, p));
        });
        result.data.push_back(0);
        result.data.push_back(0);
    } else if (data->is_number()) {
        const std::uint64_t number = readUnsigned(*data, dataPath);
        const std::size_t width = number > kMaxU32 ? 8 : 4;
        for (std::size_t i = 0; i < width; ++i) {
            result.data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
        }
    } else {
        fail(dataPath, "expected a string, an array of strings or an unsigned integer");
    }
    return result;
}

// The device at `index` of the list; its node is numbered after the root's 1.
DeviceFacts readDevice(const json& value, const std::string& path, std::size_t index) {
    const ObjectReader object(value, path,
                              {"friendlyName", "description", "enumeratorName", "instanceId",
                               "interfacePath", "devnode"});
    DeviceFacts device;
    const std::pair<const char*, DWORD> properties[] = {{"friendlyName", SPDRP_FRIENDLYNAME},
                                                        {"description", SPDRP_DEVICEDESC},
                                                        {"enumeratorName", SPDRP_ENUMERATOR_NAME}};
    for (const auto& [key, code] : properties) {
        if (auto property = object.optional(key, readRegistryValue)) {
            device.properties.emplace(code, std::move(*property));
        }
    }
    device.instanceId = object.optional("instanceId", readText);
    device.hasInterface = object.contains("interfacePath");
    device.interfacePath = object.optional("interfacePath", readText);
    if (const json* node = object.find("devnode")) {
        const ObjectReader devnode(*node, object.pathOf("devnode"), {"status"});
        device.node = static_cast<DEVINST>(index + 2);
        device.status = devnode.optional("status", readU32);
    }
    return device;
}

DeviceNumberFacts readDeviceNumber(const json& value, const std::string& path) {
    const ObjectReader object(value, path, {"type", "number"});
    DeviceNumberFacts number; // the whole disk: partition 0
    object.read("type", number.type, readU32);
    object.read("number", number.number, readU32);
    return number;
}

// Hexadecimal digits, two per byte, of `bytes` bytes (any count from 1 to 65535 when 0).
std::vector<std::uint8_t> readHex(const json& value, const std::string& path, std::size_t bytes,
                                  const char* expected) {
    if (!value.is_string()) {
        fail(path, expected);
    }
    const auto& digits = value.get_ref<const std::string&>();
    const bool sized =
        bytes == 0 ? !digits.empty() && digits.size() % 2 == 0 && digits.size() <= 2 * 0xFFFF
                   : digits.size() == 2 * bytes;
    if (!sized) {
        fail(path, expected);
    }
    auto data = hexBytes(digits);
    if (!data) {
        fail(path, expected);
    }
    return *data;
}

// Bytes as hexadecimal digits, two per byte: a page or a data block as a device returned it.
std::vector<std::uint8_t> readHexBytes(const json& value, const std::string& path) {
    return readHex(value, path, 0,
                   "expected an even number of hexadecimal digits (1 to 65535 bytes)");
}

// STORAGE_DEVICE_DESCRIPTOR's bytes: as recorded ("hex"), or the 40-byte fixed part followed by
// each text that is there as a zero-terminated string (a missing one has offset 0).
std::vector<std::uint8_t> readDescriptor(const json& value, const std::string& path) {
    const ObjectReader object(value, path,
                              {"removableMedia", "busType", "vendorId", "productId",
                               "productRevision", "serialNumber", "hex"});
    if (auto recorded = object.optional("hex", readHexBytes)) {
        if (value.size() > 1) {
            fail(path, "\"hex\" gives the whole descriptor and cannot be combined with other keys");
        }
        if (recorded->size() < 8) {
            fail(object.pathOf("hex"), "expected at least the 8-byte header");
        }
        return *recorded;
    }
    STORAGE_DEVICE_DESCRIPTOR fixed;
    std::memset(&fixed, 0, sizeof(fixed));
    fixed.Version = sizeof(STORAGE_DEVICE_DESCRIPTOR);
    bool removable = false;
    object.read("removableMedia", removable, readBool);
    fixed.RemovableMedia = removable ? 1 : 0;
    std::uint32_t busType = 0;
    object.read("busType", busType, readU32);
    // Copied, not cast: the SDK's enumeration has no fixed width for unknown values.
    static_assert(sizeof(fixed.BusType) == sizeof(busType));
    std::memcpy(&fixed.BusType, &busType, sizeof(busType));
    const auto text = [](const json& v, const std::string& p) { return readByteText(v, p); };
    const auto vendor = object.optional("vendorId", text);
    const auto product = object.optional("productId", text);
    const auto revision = object.optional("productRevision", text);
    const auto serial = object.optional("serialNumber", text);
    const auto present = [](const std::optional<std::string>& t) { return t ? &*t : nullptr; };
    return storageDeviceDescriptor(
        fixed, {present(vendor), present(product), present(revision), present(serial)});
}

GeometryFacts readGeometry(const json& value, const std::string& path) {
    const ObjectReader object(
        value, path,
        {"cylinders", "mediaType", "tracksPerCylinder", "sectorsPerTrack", "bytesPerSector"});
    GeometryFacts geometry;
    object.read("cylinders", geometry.cylinders, readU64);
    object.read("mediaType", geometry.mediaType, readU32);
    object.read("tracksPerCylinder", geometry.tracksPerCylinder, readU32);
    object.read("sectorsPerTrack", geometry.sectorsPerTrack, readU32);
    object.read("bytesPerSector", geometry.bytesPerSector, readU32);
    return geometry;
}

std::array<std::uint8_t, 512> readHexBlock(const json& value, const std::string& path) {
    const auto data =
        readHex(value, path, 512, "expected 1024 hexadecimal digits (a 512-byte block)");
    std::array<std::uint8_t, 512> block{};
    std::copy(data.begin(), data.end(), block.begin());
    return block;
}

AtaIdentity readIdentify(const json& value, const std::string& path) {
    const ObjectReader object(value, path, {"model", "serial", "firmware", "hex"});
    AtaIdentity identify;
    identify.recorded = object.optional("hex", readHexBlock);
    if (identify.recorded && (object.find("model") != nullptr || object.find("serial") != nullptr ||
                              object.find("firmware") != nullptr)) {
        fail(path, "\"hex\" gives the whole block and cannot be combined with \"model\", "
                   "\"serial\" or \"firmware\"");
    }
    object.read("model", identify.model,
                [](const json& v, const std::string& p) { return readByteText(v, p, 40); });
    object.read("serial", identify.serial,
                [](const json& v, const std::string& p) { return readByteText(v, p, 20); });
    object.read("firmware", identify.firmware,
                [](const json& v, const std::string& p) { return readByteText(v, p, 8); });
    return identify;
}

// A temperature that travels as one byte: ATA raw byte 0, SCSI log parameter byte.
int readByteTemperature(const json& value, const std::string& path) {
    return static_cast<int>(readInteger(value, path, -128, 255));
}

// The ata section: the drive answers ATA commands, IDENTIFY and SMART where stated.
void readAta(DriveFacts& drive, const json& value, const std::string& path) {
    const ObjectReader object(value, path, {"identify", "smart"});
    drive.ata = true;
    drive.identify = object.optional("identify", readIdentify);
    if (const json* smart = object.find("smart")) {
        const ObjectReader smartObject(*smart, object.pathOf("smart"), {"temperature", "hex"});
        drive.smartTemperature = smartObject.optional("temperature", readByteTemperature);
        drive.smartRecorded = smartObject.optional("hex", readHexBlock);
        if (drive.smartTemperature && drive.smartRecorded) {
            fail(object.pathOf("smart"), "\"hex\" gives the whole block and cannot be combined "
                                         "with \"temperature\"");
        }
    }
}

// { "80": "hex", ... }: pages keyed by their number as two hexadecimal digits.
std::map<std::uint8_t, std::vector<std::uint8_t>>
readPages(const json& value, const std::string& path, std::uint8_t lastPage) {
    if (!value.is_object()) {
        fail(path, "expected an object");
    }
    std::map<std::uint8_t, std::vector<std::uint8_t>> pages;
    for (const auto& [key, page] : value.items()) {
        const std::string pagePath = memberPath(path, key);
        const auto number = key.size() == 2 ? hexBytes(key) : std::nullopt;
        if (!number || number->front() > lastPage) {
            fail(pagePath, "expected a page number as two hexadecimal digits, up to " +
                               std::to_string(lastPage));
        }
        if (!page.is_null()) {
            pages[number->front()] = readHexBytes(page, pagePath);
        }
    }
    return pages;
}

void readInquiry(DriveFacts& inquiry, const json& value, const std::string& path) {
    const ObjectReader object(value, path, {"vendor", "product", "revision", "hex"});
    inquiry.inquiryRecorded = object.optional("hex", readHexBytes);
    if (inquiry.inquiryRecorded &&
        (object.find("vendor") != nullptr || object.find("product") != nullptr ||
         object.find("revision") != nullptr)) {
        fail(path, "\"hex\" gives the whole data and cannot be combined with \"vendor\", "
                   "\"product\" or \"revision\"");
    }
    object.read("vendor", inquiry.vendor,
                [](const json& v, const std::string& p) { return readByteText(v, p, 8); });
    object.read("product", inquiry.product,
                [](const json& v, const std::string& p) { return readByteText(v, p, 16); });
    object.read("revision", inquiry.revision,
                [](const json& v, const std::string& p) { return readByteText(v, p, 4); });
}

// The scsi section: the drive speaks SCSI, answering INQUIRY, VPD and LOG SENSE from what is
// stated (the standard INQUIRY data only where "inquiry" is there).
void readScsi(DriveFacts& scsi, const json& value, const std::string& path) {
    const ObjectReader object(value, path, {"inquiry", "serial", "temperature", "vpd", "logPages"});
    scsi.speaksScsi = true;
    if (const json* vpd = object.find("vpd")) {
        auto pages = readPages(*vpd, object.pathOf("vpd"), 0xFF);
        for (const auto& [page, bytes] : pages) {
            if (page != 0x80 && page != 0x83) {
                fail(object.pathOf("vpd"), "only pages 80 and 83 are kept");
            }
        }
        if (pages.count(0x80) != 0) {
            scsi.vpd80 = pages[0x80];
        }
        if (pages.count(0x83) != 0) {
            scsi.vpd83 = pages[0x83];
        }
    }
    if (const json* logPages = object.find("logPages")) {
        scsi.logPagesRecorded = readPages(*logPages, object.pathOf("logPages"), 0x3F);
    }
    const json* inquiry = object.find("inquiry");
    scsi.standardInquiry = inquiry != nullptr;
    if (inquiry != nullptr) {
        readInquiry(scsi, *inquiry, object.pathOf("inquiry"));
    }
    // The VPD page length is one 16-bit field.
    scsi.serial = object.optional(
        "serial", [](const json& v, const std::string& p) { return readByteText(v, p, 0xFFFF); });
    scsi.temperature = object.optional("temperature", readByteTemperature);
}

std::shared_ptr<const DiskFacts> readDisk(const json& value, const std::string& path) {
    const ObjectReader object(
        value, path,
        {"openable", "deviceNumber", "descriptor", "geometry", "length", "ata", "scsi"});
    auto disk = std::make_shared<DiskFacts>();
    object.read("openable", disk->openable, readBool);
    disk->deviceNumber = object.optional("deviceNumber", readDeviceNumber);
    disk->descriptor = object.optional("descriptor", readDescriptor);
    disk->geometry = object.optional("geometry", readGeometry);
    disk->length = object.optional("length", readU64);
    const json* ata = object.find("ata");
    const json* scsi = object.find("scsi");
    if (ata == nullptr && scsi == nullptr) {
        return disk; // no command set behind the path
    }
    DriveFacts drive;
    drive.scsiVersion = 0x05; // SPC-3
    drive.speaksScsi = false;
    if (disk->length) {
        drive.logicalBlocks = *disk->length / 512;
        drive.ataSectors = *disk->length / 512;
    }
    if (ata != nullptr) {
        readAta(drive, *ata, object.pathOf("ata"));
    }
    if (scsi != nullptr) {
        readScsi(drive, *scsi, object.pathOf("scsi"));
    }
    disk->drive = std::move(drive);
    return disk;
}

// Devices, drives and disks as one section of the document states them (null: not there).
void readDrives(std::map<char, LetterFacts>& drives, const json& value, const std::string& path) {
    if (!value.is_object()) {
        fail(path, "expected an object");
    }
    for (const auto& [letter, drive] : value.items()) {
        if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'Z') {
            fail(memberPath(path, letter), "expected a drive letter from A to Z");
        }
        if (!drive.is_null()) {
            drives[letter[0]] = readDrive(drive, memberPath(path, letter));
        }
    }
}

void readDisks(decltype(StorageFacts::disks)& disks, const json& value, const std::string& path) {
    if (!value.is_object()) {
        fail(path, "expected an object");
    }
    for (const auto& [key, disk] : value.items()) {
        const std::string diskPath = memberPath(path, key);
        const auto name = platform::utf8ToUtf16Strict(key);
        if (!name || name->empty()) {
            fail(diskPath, name ? "expected a device path" : "invalid UTF-8");
        }
        if (!disk.is_null()) {
            disks[*name] = readDisk(disk, diskPath);
        }
    }
}

constexpr std::array<std::string_view, 6> kMachineKeys = {"memory", "windows", "cpu",
                                                          "drives", "devices", "disks"};

// Sets one section of `state` from its value in the document (null: missing or null).
void readSection(MachineState& state, std::string_view key, const json* value,
                 const std::string& path) {
    if (key == "memory") {
        state.memory = value ? std::optional(readMemory(*value, path)) : std::nullopt;
    } else if (key == "windows") {
        state.storage.systemDirectory.reset();
        state.storage.moduleFileName.reset();
        if (value) {
            readWindows(state.storage, *value, path);
        }
    } else if (key == "cpu") {
        state.cpu = value ? readCpu(*value, path) : ProcessorFacts{};
    } else if (key == "drives") {
        state.storage.letters.clear();
        if (value) {
            readDrives(state.storage.letters, *value, path);
        }
    } else if (key == "devices") {
        auto& devices = state.storage.devices;
        devices.clear();
        if (value) {
            forEachElement(*value, path, [&](const json& v, const std::string& p) {
                devices.push_back(readDevice(v, p, devices.size()));
            });
        }
    } else if (key == "disks") {
        state.storage.disks.clear();
        if (value) {
            readDisks(state.storage.disks, *value, path);
        }
    }
}

const json* findMember(const json& object, std::string_view key) {
    const auto it = object.find(key);
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

// The machine as one document states it (without its steps); `root` names it in messages.
MachineState readMachine(const json& document, const std::string& root) {
    const ObjectReader object(document, root, kMachineKeys);
    MachineState state;
    for (const auto key : kMachineKeys) {
        readSection(state, key, object.find(key), object.pathOf(key));
    }
    return state;
}

// Merges a step's patch into `document` and brings `state` (decoded from the document before)
// up to date, decoding only what the patch touches: a drive, a disk, the cpu's packages. So
// many small steps on a large machine cost the size of the patches, not steps x machine.
void applyPatch(json& document, MachineState& state, const json& patch, const std::string& root) {
    const ObjectReader keys(patch, root, kMachineKeys);
    for (const auto& [key, value] : patch.items()) {
        const std::string path = memberPath(root, key);
        const bool wasObject = findMember(document, key) != nullptr;
        if (value.is_null()) {
            document.erase(key);
        } else {
            document[key].merge_patch(value);
        }
        const json* merged = findMember(document, key);
        if (!wasObject || !value.is_object() || merged == nullptr ||
            (key != "cpu" && key != "drives" && key != "disks")) {
            readSection(state, key, merged, path);
            continue;
        }
        if (key == "cpu") {
            const ObjectReader cpu(*merged, path, {"usageMeter", "packages"});
            if (value.contains("usageMeter")) {
                state.cpu.usageMeter = true;
                cpu.read("usageMeter", state.cpu.usageMeter, readBool);
            }
            if (value.contains("packages")) {
                state.cpu.packages.clear();
                if (const json* packages = cpu.find("packages")) {
                    forEachElement(*packages, cpu.pathOf("packages"),
                                   [&](const json& v, const std::string& p) {
                                       state.cpu.packages.push_back(readPackage(v, p));
                                   });
                }
            }
            continue;
        }
        for (const auto& [name, member] : value.items()) {
            json one = json::object();
            if (const json* now = findMember(*merged, name)) {
                one[name] = *now;
            }
            if (key == "drives") {
                if (name.size() == 1) {
                    state.storage.letters.erase(name[0]);
                }
                readDrives(state.storage.letters, one, path);
            } else if (const auto wide = platform::utf8ToUtf16Strict(name)) {
                state.storage.disks.erase(*wide);
                readDisks(state.storage.disks, one, path);
            } else {
                readDisks(state.storage.disks, one, path);
            }
        }
    }
}

constexpr std::size_t kMaxDepth = 64;

// Make a message from outside (the JSON library's) fit on one line of printable ASCII.
std::string printable(std::string_view text) {
    if (const auto bracket = text.find("] ");
        text.rfind("[json.exception.", 0) == 0 && bracket != std::string_view::npos) {
        text.remove_prefix(bracket + 2);
    }
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out.push_back(c);
        } else {
            constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0xF]);
        }
    }
    return out;
}

// A first pass over the text that keeps the JSON path of where it is, so a syntax error, a
// number out of range or bad UTF-8 names its path, and that stops nesting beyond kMaxDepth
// before any tree is built (building and copying trees recurse).
class PathTracker final : public nlohmann::json_sax<json> {
public:
    bool null() override { return value(); }
    bool boolean(bool) override { return value(); }
    bool number_integer(number_integer_t) override { return value(); }
    bool number_unsigned(number_unsigned_t) override { return value(); }
    bool number_float(number_float_t, const string_t&) override { return value(); }
    bool string(string_t&) override { return value(); }
    bool binary(binary_t&) override { return value(); }
    bool start_object(std::size_t) override { return open(false); }
    bool key(string_t& name) override {
        frames_.back().key = name;
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(true); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& error) override {
        const std::string what = error.id == 406 ? printable(error.what())
                                                 : "not valid JSON: " + printable(error.what());
        fail(path(), what);
    }

    std::string path() const {
        std::string path = "$";
        for (const auto& frame : frames_) {
            if (frame.array && frame.index > 0) {
                path = elementPath(path, frame.index - 1);
            } else if (!frame.array && frame.key) {
                path = memberPath(path, *frame.key);
            }
        }
        return path;
    }

private:
    struct Frame {
        bool array = false;
        std::size_t index = 0; // elements seen so far
        std::optional<std::string> key;
    };

    bool value() {
        if (!frames_.empty() && frames_.back().array) {
            ++frames_.back().index;
        }
        return true;
    }
    bool open(bool array) {
        value();
        if (frames_.size() >= kMaxDepth) {
            fail(path(), "nested deeper than " + std::to_string(kMaxDepth) + " levels");
        }
        frames_.push_back(Frame{array, 0, std::nullopt});
        return true;
    }
    bool close() {
        frames_.pop_back();
        return true;
    }

    std::vector<Frame> frames_;
};

// The whole text as one JSON document, every fault a MachineError naming its path.
json parseDocument(std::string_view text) {
    const std::size_t nul = text.find('\0');
    PathTracker tracker;
    try {
        json::sax_parse(text.substr(0, nul), &tracker);
    } catch (const MachineError&) {
        if (nul == std::string_view::npos) {
            throw;
        }
    }
    if (nul != std::string_view::npos) {
        // The JSON reader would take a NUL for the end of the text.
        fail(tracker.path(), "not valid JSON: a NUL byte at offset " + std::to_string(nul));
    }
    return json::parse(text);
}

} // namespace

Machine Machine::fromDocument(json document) {
    if (!document.is_object()) {
        fail("$", "expected an object");
    }
    Machine machine;
    json steps;
    if (const auto it = document.find("steps"); it != document.end()) {
        steps = std::move(*it);
        document.erase(it);
    }
    machine.initialState_ = readMachine(document, "$");
    machine.initialDocument_ = std::move(document);
    if (steps.is_null() || (steps.is_array() && steps.empty())) {
        machine.steps_.push_back(Step{0.0, json()});
        return machine;
    }
    // Every step's patch is checked now, on a working copy, so that reading a step later
    // cannot fail.
    json current = machine.initialDocument_;
    MachineState state = machine.initialState_;
    double previous = 0.0;
    std::string previousText; // as the file wrote it, for messages
    if (!steps.is_array()) {
        fail("$.steps", "expected an array");
    }
    for (std::size_t i = 0; i < steps.size(); ++i) {
        json& value = steps[i];
        const std::string path = elementPath("$.steps", i);
        const ObjectReader step(value, path, {"at", "patch"});
        double at = previous;
        if (const json* written = step.find("at")) {
            at = readNumber(*written, step.pathOf("at"));
            if (at < previous) {
                fail(step.pathOf("at"), at < 0 ? std::string("must not be negative")
                                               : "must not be less than the previous step's at (" +
                                                     previousText + ")");
            }
            previousText = written->dump();
        }
        json patch;
        if (const json* written = step.find("patch")) {
            if (!written->is_object()) {
                fail(step.pathOf("patch"), "expected an object (a JSON merge patch)");
            }
            applyPatch(current, state, *written, step.pathOf("patch"));
            patch = std::move(value["patch"]);
        }
        machine.steps_.push_back(Step{at, std::move(patch)});
        previous = at;
    }
    return machine;
}

const MachineState& Machine::stateAt(std::size_t i) const {
    if (i >= steps_.size()) {
        throw std::out_of_range("simulated machine: no step " + std::to_string(i));
    }
    if (!cursor_ || cursor_->step > i) {
        cursor_ = Cursor{initialDocument_, initialState_, 0, false};
    }
    for (; !cursor_->applied || cursor_->step < i;) {
        const std::size_t next = cursor_->applied ? cursor_->step + 1 : 0;
        if (const json& patch = steps_[next].patch; patch.is_object()) {
            applyPatch(cursor_->document, cursor_->state, patch,
                       "$.steps[" + std::to_string(next) + "].patch");
        }
        cursor_->step = next;
        cursor_->applied = true;
    }
    return cursor_->state;
}

Machine Machine::fromJsonText(std::string_view text) {
    try {
        return fromDocument(parseDocument(text));
    } catch (const MachineError&) {
        throw;
    } catch (const std::exception& error) {
        // Nothing else leaves the loader: a fault we did not foresee still names the file's root.
        fail("$", printable(error.what()));
    }
}

Machine Machine::fromFile(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw MachineError(path.string() + ": cannot be read (a folder)");
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw MachineError(path.string() + ": cannot be read");
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        throw MachineError(path.string() + ": cannot be read");
    }
    return fromJsonText(text.str());
}

} // namespace platform::simulated
