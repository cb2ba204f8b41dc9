#include "platform/recording/RecordingBackend.h"

#include "platform/HexText.h"
#include "platform/PassThroughRequest.h"
#include "platform/Utf.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

namespace platform::recording {
namespace {

using nlohmann::json;

constexpr DWORD kRegQword = 11;

std::string utf8(const char16_t* text, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && text[length] != 0) {
        ++length;
    }
    return utf16ToUtf8(std::u16string_view(text, length));
}

// Bytes that travel as single-byte text: the format keeps each byte as the code point of the
// same value.
std::string byteText(const std::uint8_t* bytes, std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        appendUtf8(text, bytes[i]);
    }
    return text;
}

void setOrErase(json& object, const char* key, bool ok, const json& value) {
    if (ok) {
        object[key] = value;
    } else {
        object.erase(key);
    }
}

// A text answered in `buffer` (`length` units, 0 when the call failed): kept when whole, a
// failure noted by its absence; a buffer too short for it says nothing.
void noteText(json& object, const char* key, const char16_t* buffer, DWORD length, DWORD size) {
    if (length == 0 || length < size) {
        setOrErase(object, key, length != 0, length != 0 ? utf8(buffer, length) : "");
    }
}

// "X:\", "\\.\X:\" and the like: the letter, upper-case; 0 for anything else.
char letterOf(const char16_t* root) {
    if (root != nullptr && root[0] == u'\\' && root[1] == u'\\' &&
        (root[2] == u'.' || root[2] == u'?') && root[3] == u'\\') {
        root += 4;
    }
    if (root == nullptr || root[0] == 0 || root[1] != u':') {
        return 0;
    }
    const char16_t c = root[0] >= u'a' && root[0] <= u'z' ? root[0] - u'a' + u'A' : root[0];
    return c >= u'A' && c <= u'Z' ? static_cast<char>(c) : 0;
}

// The letter of a volume path `\\.\X:`; 0 for a device path.
char volumeLetter(const char16_t* name) {
    const std::u16string_view text(name);
    return text.size() == 6 && text[0] == u'\\' ? letterOf(name) : 0;
}

// A registry property's value as the format writes it: plain text for REG_SZ.
json registryValue(DWORD type, const BYTE* data, std::size_t size) {
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    const auto textAt = [&](std::size_t& at) {
        const std::size_t end = std::min(units.find(u'\0', at), units.size());
        std::string text = utf16ToUtf8(std::u16string_view(units).substr(at, end - at));
        at = end + 1;
        return text;
    };
    std::size_t at = 0;
    if (type == REG_SZ) {
        return textAt(at);
    }
    json value = {{"type", type}};
    if (type == REG_MULTI_SZ) {
        json texts = json::array();
        while (at < units.size() && units[at] != 0) {
            texts.push_back(textAt(at));
        }
        value["value"] = texts;
    } else if ((type == REG_DWORD && size >= 4) || (type == kRegQword && size >= 8)) {
        std::uint64_t number = 0;
        for (std::size_t i = 0; i < (type == REG_DWORD ? 4u : 8u); ++i) {
            number |= static_cast<std::uint64_t>(data[i]) << (8 * i);
        }
        value["value"] = number;
    } else if (size >= 2) {
        value["value"] = textAt(at);
    }
    return value;
}

const char* propertyKey(DWORD property) {
    switch (property) {
    case SPDRP_FRIENDLYNAME:
        return "friendlyName";
    case SPDRP_DEVICEDESC:
        return "description";
    case SPDRP_ENUMERATOR_NAME:
        return "enumeratorName";
    default:
        return nullptr;
    }
}

// An ATA command's answer, however it travelled (ATA pass-through, SMART IOCTL, or SAT).
// Each record... returns the JSON pointer of the fact the command asks for (empty: none kept).
std::string recordAta(json& disk, const AtaTaskFile& command, bool ok, const std::uint8_t* data,
                      std::size_t length) {
    json& ata = disk["ata"];
    if (!ata.is_object()) {
        ata = json::object();
    }
    if (command.command == kAtaIdentifyDevice) {
        if (ok && length >= 512) {
            ata["identify"] = {{"hex", hexText(std::span(data, 512))}};
        } else {
            ata.erase("identify");
        }
        return "/ata/identify";
    } else if (command.command == kAtaSmart && command.features == kSmartReadData) {
        // Whole: drives keep their temperature in different attributes.
        if (ok && length >= 512) {
            ata["smart"] = {{"hex", hexText(std::span(data, 512))}};
        } else {
            ata.erase("smart");
        }
        return "/ata/smart";
    }
    return {};
}

// The ATA command inside an ATA PASS-THROUGH (16) or (12) CDB.
std::optional<AtaTaskFile> satCommand(std::span<const std::uint8_t> cdb) {
    if (cdb.size() >= 16 && cdb[0] == 0x85) {
        return AtaTaskFile{cdb[4], cdb[6], cdb[8], cdb[10], cdb[12], cdb[13], cdb[14]};
    }
    if (cdb.size() >= 12 && cdb[0] == 0xA1) {
        return AtaTaskFile{cdb[3], cdb[4], cdb[5], cdb[6], cdb[7], cdb[8], cdb[9]};
    }
    return std::nullopt;
}

std::string recordScsi(json& disk, std::span<const std::uint8_t> cdb, bool good,
                       const std::uint8_t* data, std::size_t length) {
    if (const auto command = satCommand(cdb)) {
        return recordAta(disk, *command, good, data, length);
    }
    if (cdb.empty() || (!good && !disk.contains("scsi"))) {
        return {};
    }
    json& scsi = disk["scsi"];
    if (!scsi.is_object()) {
        scsi = json::object();
    }
    const std::uint8_t opcode = cdb[0];
    // Pages and data whole, as the device sent them; the serial and the temperature also as
    // values, for people reading the file.
    if (opcode == 0x12 && cdb.size() >= 3 && (cdb[1] & 1) == 0) {
        setOrErase(scsi, "inquiry", good && length > 0,
                   json{{"hex", hexText(std::span(data, length))}});
        return "/scsi/inquiry";
    }
    if (opcode == 0x12 && cdb.size() >= 3 && (cdb[2] == 0x80 || cdb[2] == 0x83)) {
        const std::string page = cdb[2] == 0x80 ? "80" : "83";
        json& vpd = scsi["vpd"];
        if (!vpd.is_object()) {
            vpd = json::object();
        }
        setOrErase(vpd, page.c_str(), good && length >= 4, hexText(std::span(data, length)));
        if (vpd.empty()) {
            scsi.erase("vpd");
        }
        if (cdb[2] == 0x80) {
            const std::size_t pageLength = length >= 4 ? (data[2] << 8 | data[3]) : 0;
            setOrErase(scsi, "serial", good && length >= 4 && 4 + pageLength <= length,
                       length >= 4 ? byteText(data + 4, std::min(pageLength, length - 4)) : "");
        }
        return "/scsi/vpd/" + page;
    }
    if (opcode == 0x4D && cdb.size() >= 3) {
        const std::uint8_t number = cdb[2] & 0x3F;
        const std::string page = hexText(std::array{number});
        json& pages = scsi["logPages"];
        if (!pages.is_object()) {
            pages = json::object();
        }
        setOrErase(pages, page.c_str(), good && length >= 4, hexText(std::span(data, length)));
        if (pages.empty()) {
            scsi.erase("logPages");
        }
        if (number != 0x0D) {
            return "/scsi/logPages/" + page;
        }
        // The temperature log page: parameter 0000h holds the current temperature.
        std::optional<int> celsius;
        for (std::size_t at = 4; good && at + 6 <= length; at += 4 + data[at + 3]) {
            if (data[at] == 0 && data[at + 1] == 0 && data[at + 5] != 0xFF) {
                celsius = data[at + 5];
                break;
            }
        }
        setOrErase(scsi, "temperature", celsius.has_value(), celsius.value_or(0));
        return "/scsi/logPages/0d";
    }
    return {};
}

// The standard device descriptor, when the answer holds it whole (a first call that asks only
// for the size is left for the second).
std::optional<json> descriptorOf(const std::uint8_t* bytes, std::size_t length) {
    STORAGE_DEVICE_DESCRIPTOR fixed;
    if (length < sizeof(fixed)) {
        return std::nullopt;
    }
    std::memcpy(&fixed, bytes, sizeof(fixed));
    if (fixed.Size >= sizeof(fixed) && fixed.Size <= length) {
        return json{{"hex", hexText(std::span(bytes, fixed.Size))}};
    }
    std::uint32_t busType = 0;
    static_assert(sizeof(busType) == sizeof(fixed.BusType));
    std::memcpy(&busType, &fixed.BusType, sizeof(busType));
    json descriptor = {{"removableMedia", fixed.RemovableMedia != 0}, {"busType", busType}};
    const std::pair<const char*, DWORD> texts[] = {{"vendorId", fixed.VendorIdOffset},
                                                   {"productId", fixed.ProductIdOffset},
                                                   {"productRevision", fixed.ProductRevisionOffset},
                                                   {"serialNumber", fixed.SerialNumberOffset}};
    for (const auto& [key, offset] : texts) {
        if (offset == 0) {
            continue;
        }
        const auto* end = offset < length ? std::find(bytes + offset, bytes + length, 0) : nullptr;
        if (end == nullptr || end == bytes + length) {
            return std::nullopt;
        }
        descriptor[key] = byteText(bytes + offset, static_cast<std::size_t>(end - bytes) - offset);
    }
    return descriptor;
}

} // namespace

json RecordingBackend::machine() const {
    json machine = json::object();
    if (!memory_.is_null()) {
        machine["memory"] = memory_;
    }
    if (!windows_.empty()) {
        machine["windows"] = windows_;
    }
    if (!drives_.empty()) {
        json& drives = machine["drives"];
        for (const auto& [letter, drive] : drives_) {
            drives[std::string(1, letter)] = drive;
        }
    }
    // The class set gives the devices in order; the interface set, which of them have a path.
    const DeviceSet* devices = nullptr;
    const DeviceSet* interfaces = nullptr;
    for (const DeviceSet& set : sets_) {
        (set.interfaces ? interfaces : devices) = &set;
    }
    if (devices == nullptr) {
        devices = interfaces;
    }
    if (devices != nullptr) {
        json& list = machine["devices"] = json::array();
        for (json device : devices->devices) {
            if (!device.is_object()) {
                continue;
            }
            if (interfaces != nullptr && interfaces != devices && device.contains("instanceId")) {
                device.erase("interfacePath");
                for (const json& other : interfaces->devices) {
                    if (other.is_object() &&
                        other.value("instanceId", json()) == device["instanceId"] &&
                        other.contains("interfacePath")) {
                        device["interfacePath"] = other["interfacePath"];
                        break;
                    }
                }
            }
            if (device.contains("instanceId")) {
                const auto node = devnodes_.find(device["instanceId"].get<std::string>());
                if (node != devnodes_.end()) {
                    device["devnode"] = node->second;
                }
            }
            list.push_back(device);
        }
    }
    if (!disks_.empty()) {
        json& disks = machine["disks"];
        for (const auto& [path, disk] : disks_) {
            disks[path] = disk;
        }
    }
    return machine;
}

BOOL RecordingBackend::globalMemoryStatusEx(MEMORYSTATUSEX* status) {
    const BOOL ok = live_.globalMemoryStatusEx(status);
    memory_ = ok ? json{{"load", status->dwMemoryLoad},
                        {"totalPhys", status->ullTotalPhys},
                        {"availPhys", status->ullAvailPhys}}
                 : json();
    return ok;
}

HANDLE RecordingBackend::createFile(const char16_t* name, DWORD access, DWORD share,
                                    DWORD disposition, DWORD flags) {
    const HANDLE handle = live_.createFile(name, access, share, disposition, flags);
    if (name == nullptr) {
        return handle;
    }
    const bool ok = handle != INVALID_HANDLE_VALUE;
    Opened opened{std::nullopt, utf16ToUtf8(name)};
    if (const char letter = volumeLetter(name)) {
        opened.letter = letter;
        setOrErase(drive(letter), "openable", !ok, false);
    } else if (ok) {
        json& disk = disks_[opened.path];
        if (!disk.is_object()) {
            disk = json::object();
        }
        disk.erase("openable");
    } else if (const auto known = disks_.find(opened.path); known != disks_.end()) {
        known->second["openable"] = false;
    }
    if (ok) {
        handles_[handle] = opened;
    }
    return handle;
}

BOOL RecordingBackend::closeHandle(HANDLE handle) {
    handles_.erase(handle);
    return live_.closeHandle(handle);
}

BOOL RecordingBackend::deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                       DWORD outSize, DWORD* returned) {
    // The request is read before the call: pass-through blocks are often in and out at once.
    ScsiRequest scsi;
    AtaRequest ata;
    AtaTaskFile smart;
    const bool scsiRead = code == win32::kIoctlScsiPassThrough &&
                          readScsiRequest(in, inSize, out, outSize, scsi) == 0;
    const bool ataRead =
        code == win32::kIoctlAtaPassThrough && readAtaRequest(in, inSize, out, outSize, ata) == 0;
    const bool smartRead =
        code == win32::kSmartRcvDriveData && readSmartRequest(in, inSize, out, outSize, smart) == 0;
    DWORD count = 0;
    const BOOL ok = live_.deviceIoControl(device, code, in, inSize, out, outSize, &count);
    if (returned != nullptr) {
        *returned = count;
    }
    const auto opened = handles_.find(device);
    if (opened == handles_.end()) {
        return ok;
    }
    auto* bytes = static_cast<const std::uint8_t*>(out);
    if (opened->second.letter) {
        if (code == IOCTL_STORAGE_GET_DEVICE_NUMBER) {
            STORAGE_DEVICE_NUMBER number{};
            const bool whole = ok && count >= sizeof(number);
            if (whole) {
                std::memcpy(&number, out, sizeof(number));
            }
            setOrErase(drive(*opened->second.letter), "deviceNumber", whole, number.DeviceNumber);
        }
        return ok;
    }
    json& disk = disks_[opened->second.path];
    std::string asked;
    if (scsiRead && ok) {
        win32::ScsiPassThrough after;
        std::memcpy(&after, out, sizeof(after));
        const bool dataIn = after.DataIn == win32::kScsiIoctlDataIn;
        asked = recordScsi(disk, scsi.cdb(), after.ScsiStatus == kScsiGood,
                           bytes + after.DataBufferOffset, dataIn ? after.DataTransferLength : 0);
    } else if (scsiRead && live_.getLastError() != ERROR_INVALID_FUNCTION) {
        asked = recordScsi(disk, scsi.cdb(), false, nullptr, 0);
    } else if (ataRead && ok) {
        win32::AtaPassThroughEx after;
        std::memcpy(&after, out, sizeof(after));
        const bool failed = (after.CurrentTaskFile[6] & kAtaStatusError) != 0;
        const bool dataIn = (after.AtaFlags & win32::kAtaFlagsDataIn) != 0;
        asked = recordAta(disk, ata.registers, !failed, bytes + after.DataBufferOffset,
                          dataIn ? after.DataTransferLength : 0);
    } else if (smartRead && ok && count >= kSmartAnswerSize) {
        win32::SendCmdOutParams after;
        std::memcpy(&after, out, sizeof(after));
        asked = recordAta(disk, smart, after.bDriverError == 0, bytes + sizeof(after), 512);
    } else if (code == IOCTL_STORAGE_GET_DEVICE_NUMBER) {
        STORAGE_DEVICE_NUMBER number{};
        const bool whole = ok && count >= sizeof(number);
        if (whole) {
            std::memcpy(&number, out, sizeof(number));
        }
        setOrErase(disk, "deviceNumber", whole,
                   json{{"type", number.DeviceType}, {"number", number.DeviceNumber}});
        asked = "/deviceNumber";
    } else if (code == IOCTL_STORAGE_QUERY_PROPERTY && in != nullptr &&
               inSize >= sizeof(STORAGE_PROPERTY_QUERY)) {
        STORAGE_PROPERTY_QUERY query;
        std::memcpy(&query, in, sizeof(query));
        if (query.PropertyId == StorageDeviceProperty && query.QueryType == PropertyStandardQuery) {
            const auto descriptor = ok ? descriptorOf(bytes, count) : std::nullopt;
            if (descriptor || !ok) {
                setOrErase(disk, "descriptor", descriptor.has_value(), descriptor.value_or(json()));
                asked = "/descriptor";
            }
        }
    } else if (code == IOCTL_DISK_GET_DRIVE_GEOMETRY) {
        DISK_GEOMETRY geometry{};
        const bool whole = ok && count >= sizeof(geometry);
        if (whole) {
            std::memcpy(&geometry, out, sizeof(geometry));
        }
        std::uint32_t mediaType = 0;
        static_assert(sizeof(mediaType) == sizeof(geometry.MediaType));
        std::memcpy(&mediaType, &geometry.MediaType, sizeof(mediaType));
        setOrErase(disk, "geometry", whole,
                   json{{"cylinders", static_cast<std::uint64_t>(geometry.Cylinders.QuadPart)},
                        {"mediaType", mediaType},
                        {"tracksPerCylinder", geometry.TracksPerCylinder},
                        {"sectorsPerTrack", geometry.SectorsPerTrack},
                        {"bytesPerSector", geometry.BytesPerSector}});
        asked = "/geometry";
    } else if (code == IOCTL_DISK_GET_LENGTH_INFO) {
        GET_LENGTH_INFORMATION length{};
        const bool whole = ok && count >= sizeof(length);
        if (whole) {
            std::memcpy(&length, out, sizeof(length));
        }
        setOrErase(disk, "length", whole, static_cast<std::uint64_t>(length.Length.QuadPart));
        asked = "/length";
    }
    // A question first asked after the first snapshot: its answer held from the start.
    if (!asked.empty() && asked_[opened->second.path].insert(asked).second && firstTaken_) {
        const json::json_pointer pointer(asked);
        if (disk.contains(pointer)) {
            lateAnswers_["disks"][opened->second.path][pointer] = disk[pointer];
        }
    }
    return ok;
}

json& RecordingBackend::drive(char letter) {
    json& entry = drives_[letter];
    if (!entry.is_object()) {
        entry = json::object();
    }
    return entry;
}

DWORD RecordingBackend::getLogicalDrives() {
    const DWORD mask = live_.getLogicalDrives();
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if ((mask >> (letter - 'A') & 1) != 0) {
            drive(letter);
        } else {
            drives_.erase(letter);
        }
    }
    return mask;
}

UINT RecordingBackend::getDriveType(const char16_t* root) {
    const UINT type = live_.getDriveType(root);
    if (const char letter = letterOf(root)) {
        setOrErase(drive(letter), "type", type != 0, type);
    }
    return type;
}

int RecordingBackend::isNetDrive(int index) {
    const int network = live_.isNetDrive(index);
    if (index >= 0 && index < 26) {
        setOrErase(drive(static_cast<char>('A' + index)), "network", network != 0, network);
    }
    return network;
}

BOOL RecordingBackend::getVolumeInformation(const char16_t* root, char16_t* name, DWORD nameSize,
                                            DWORD* serial, DWORD* maxComponent, DWORD* flags,
                                            char16_t* fileSystem, DWORD fileSystemSize) {
    const BOOL ok = live_.getVolumeInformation(root, name, nameSize, serial, maxComponent, flags,
                                               fileSystem, fileSystemSize);
    if (const char letter = letterOf(root)) {
        json volume = json::object();
        if (ok) {
            volume["label"] = name != nullptr ? utf8(name, nameSize) : "";
            volume["serial"] = serial != nullptr ? *serial : 0;
            volume["fileSystem"] = fileSystem != nullptr ? utf8(fileSystem, fileSystemSize) : "";
            volume["flags"] = flags != nullptr ? *flags : 0;
        }
        setOrErase(drive(letter), "volume", ok, volume);
    }
    return ok;
}

BOOL RecordingBackend::getDiskFreeSpaceEx(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                                          ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
    const BOOL ok = live_.getDiskFreeSpaceEx(root, availableToCaller, total, totalFree);
    if (const char letter = letterOf(root)) {
        const auto value = [](const ULARGE_INTEGER* v) {
            return v != nullptr ? static_cast<std::uint64_t>(v->QuadPart) : 0;
        };
        setOrErase(drive(letter), "space", ok,
                   json{{"total", value(total)},
                        {"free", value(totalFree)},
                        {"available", value(availableToCaller)}});
    }
    return ok;
}

UINT RecordingBackend::getSystemDirectory(char16_t* buffer, UINT size) {
    const UINT length = live_.getSystemDirectory(buffer, size);
    noteText(windows_, "systemDirectory", buffer, length, size);
    return length;
}

DWORD RecordingBackend::getModuleFileName(char16_t* buffer, DWORD size) {
    const DWORD length = live_.getModuleFileName(buffer, size);
    noteText(windows_, "moduleFileName", buffer, length, size);
    return length;
}

HDEVINFO RecordingBackend::setupDiGetClassDevs(const GUID* classGuid, DWORD flags) {
    const HDEVINFO set = live_.setupDiGetClassDevs(classGuid, flags);
    if (set != INVALID_HANDLE_VALUE && set != nullptr) {
        sets_.push_back(DeviceSet{(flags & DIGCF_DEVICEINTERFACE) != 0, {}, {}, {}});
        openSets_[set] = sets_.size() - 1;
    }
    return set;
}

json* RecordingBackend::deviceOf(HDEVINFO set, const SP_DEVINFO_DATA* data) {
    const auto open = openSets_.find(set);
    if (open == openSets_.end() || data == nullptr) {
        return nullptr;
    }
    DeviceSet& devices = sets_[open->second];
    const auto found = devices.byData.find({data->DevInst, data->Reserved});
    return found == devices.byData.end() ? nullptr : &devices.devices[found->second];
}

BOOL RecordingBackend::setupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
    const BOOL ok = live_.setupDiEnumDeviceInfo(set, index, data);
    const auto open = openSets_.find(set);
    if (ok && open != openSets_.end()) {
        DeviceSet& devices = sets_[open->second];
        if (devices.devices.size() <= index) {
            devices.devices.resize(index + 1);
        }
        if (!devices.devices[index].is_object()) {
            devices.devices[index] = json::object();
        }
        devices.byData[{data->DevInst, data->Reserved}] = index;
    }
    return ok;
}

BOOL RecordingBackend::setupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                   const GUID* interfaceClass, DWORD index,
                                                   SP_DEVICE_INTERFACE_DATA* interfaceData) {
    const BOOL ok =
        live_.setupDiEnumDeviceInterfaces(set, data, interfaceClass, index, interfaceData);
    if (json* device = deviceOf(set, data); device != nullptr && index == 0) {
        // In the interface set; the path comes with the detail. Null: enumerating it fails.
        (*device)["interfacePath"] = nullptr;
        if (ok) {
            DeviceSet& devices = sets_[openSets_[set]];
            devices.byInterface[interfaceData->Reserved] =
                static_cast<std::size_t>(device - devices.devices.data());
        }
    }
    return ok;
}

BOOL RecordingBackend::setupDiGetDeviceInterfaceDetail(HDEVINFO set,
                                                       SP_DEVICE_INTERFACE_DATA* interfaceData,
                                                       SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                                       DWORD size, DWORD* required,
                                                       SP_DEVINFO_DATA* data) {
    const BOOL ok =
        live_.setupDiGetDeviceInterfaceDetail(set, interfaceData, detail, size, required, data);
    const auto open = openSets_.find(set);
    if (ok && detail != nullptr && interfaceData != nullptr && open != openSets_.end()) {
        DeviceSet& devices = sets_[open->second];
        const auto found = devices.byInterface.find(interfaceData->Reserved);
        if (found != devices.byInterface.end()) {
            const std::size_t capacity =
                (size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(char16_t);
            devices.devices[found->second]["interfacePath"] =
                utf8(reinterpret_cast<const char16_t*>(detail->DevicePath), capacity);
        }
    }
    return ok;
}

BOOL RecordingBackend::setupDiGetDeviceRegistryProperty(HDEVINFO set, SP_DEVINFO_DATA* data,
                                                        DWORD property, DWORD* registryType,
                                                        BYTE* buffer, DWORD size, DWORD* required) {
    DWORD type = 0;
    DWORD needed = 0;
    const BOOL ok =
        live_.setupDiGetDeviceRegistryProperty(set, data, property, &type, buffer, size, &needed);
    if (registryType != nullptr) {
        *registryType = type;
    }
    if (required != nullptr) {
        *required = needed;
    }
    json* device = deviceOf(set, data);
    const char* key = propertyKey(property);
    if (device != nullptr && key != nullptr) {
        const bool whole = ok && buffer != nullptr;
        setOrErase(*device, key, whole,
                   whole ? registryValue(type, buffer, std::min(size, needed == 0 ? size : needed))
                         : json());
    }
    return ok;
}

BOOL RecordingBackend::setupDiGetDeviceInstanceId(HDEVINFO set, SP_DEVINFO_DATA* data, char16_t* id,
                                                  DWORD size, DWORD* required) {
    const BOOL ok = live_.setupDiGetDeviceInstanceId(set, data, id, size, required);
    json* device = deviceOf(set, data);
    if (ok && device != nullptr && id != nullptr) {
        (*device)["instanceId"] = utf8(id, size);
    }
    return ok;
}

BOOL RecordingBackend::setupDiDestroyDeviceInfoList(HDEVINFO set) {
    openSets_.erase(set);
    return live_.setupDiDestroyDeviceInfoList(set);
}

CONFIGRET RecordingBackend::cmLocateDevNode(DEVINST* node, const char16_t* instanceId,
                                            ULONG flags) {
    const CONFIGRET result = live_.cmLocateDevNode(node, instanceId, flags);
    if (instanceId != nullptr) {
        const std::string id = utf16ToUtf8(instanceId);
        if (result == CR_SUCCESS && node != nullptr) {
            devnodes_[id] = json::object();
            nodeIds_[*node] = id;
        } else {
            devnodes_.erase(id);
        }
    }
    return result;
}

CONFIGRET RecordingBackend::cmGetDevNodeStatus(ULONG* status, ULONG* problem, DEVINST node,
                                               ULONG flags) {
    const CONFIGRET result = live_.cmGetDevNodeStatus(status, problem, node, flags);
    if (const auto id = nodeIds_.find(node); id != nodeIds_.end()) {
        setOrErase(devnodes_[id->second], "status", result == CR_SUCCESS && status != nullptr,
                   status != nullptr ? *status : 0);
    }
    return result;
}

json mergePatchBetween(const json& before, const json& after) {
    if (!before.is_object() || !after.is_object()) {
        return after;
    }
    json patch = json::object();
    for (const auto& [key, value] : before.items()) {
        if (!after.contains(key)) {
            patch[key] = nullptr;
        }
    }
    for (const auto& [key, value] : after.items()) {
        const auto old = before.find(key);
        if (old == before.end()) {
            patch[key] = value;
        } else if (*old != value) {
            patch[key] = mergePatchBetween(*old, value);
        }
    }
    return patch;
}

} // namespace platform::recording
