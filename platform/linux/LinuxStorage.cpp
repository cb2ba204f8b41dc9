#include "platform/linux/LinuxStorage.h"

#include "platform/BufferAnswer.h"
#include "platform/PassThrough.h"
#include "platform/StorageDescriptor.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/linux/SgIo.h"
#include "platform/linux/Superblock.h"
#include "platform/linux/WideText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform {
namespace fs = std::filesystem;

namespace {

constexpr DWORD kErrorPathNotFound = 3;
constexpr DWORD kErrorBadLength = 24;
constexpr DWORD kErrorDirNotRoot = 144;
constexpr DWORD kErrorUnrecognizedVolume = 1005;
constexpr DWORD kErrorIoDevice = 1117;

constexpr DWORD kFileCaseSensitiveSearch = 0x1;
constexpr DWORD kFileCasePreservedNames = 0x2;
constexpr DWORD kFileUnicodeOnDisk = 0x4;

BOOL fail(DWORD error) {
    setLastError(error);
    return FALSE;
}

void setReturned(DWORD* returned, std::size_t bytes) {
    if (returned != nullptr) {
        *returned = static_cast<DWORD>(bytes);
    }
}

DWORD errorFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return kErrorPathNotFound;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case ENOMEDIUM:
        return ERROR_NOT_READY;
    case ENOTTY:
    case ENOSYS:
    case EOPNOTSUPP:
        return ERROR_INVALID_FUNCTION;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return kErrorIoDevice;
    }
}

struct DriveRoot {
    char16_t letter = 0;
    std::u16string rest; // the path after "X:\", without a leading separator
};

// "X:", "X:\", "X:\dir", also with the \\.\ or \\?\ prefix.
std::optional<DriveRoot> parseDriveRoot(std::u16string_view text) {
    if (text.starts_with(u"\\\\.\\") || text.starts_with(u"\\\\?\\")) {
        text.remove_prefix(4);
    }
    if (text.size() < 2 || text[1] != u':') {
        return std::nullopt;
    }
    const char16_t letter = asciiUpper(text[0]);
    if (letter < u'A' || letter > u'Z') {
        return std::nullopt;
    }
    text.remove_prefix(2);
    if (!text.empty() && (text.front() == u'\\' || text.front() == u'/')) {
        text.remove_prefix(1);
    }
    return DriveRoot{letter, std::u16string(text)};
}

bool isBareRoot(const DriveRoot& root) {
    return root.rest.empty();
}

// Copies `text` and its terminating zero into a buffer of `capacity` characters; false when it
// does not fit, with as much copied as fits and no terminator, as GetVolumeInformationW does.
bool copyText(const std::u16string& text, char16_t* buffer, DWORD capacity) {
    if (buffer == nullptr) {
        return true;
    }
    if (text.size() + 1 > capacity) {
        std::copy_n(text.begin(), std::min<std::size_t>(capacity, text.size()), buffer);
        return false;
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return true;
}

std::optional<std::uint64_t> nodeSectors(const StorageRoots& roots, const std::string& node) {
    const auto text = readSysAttribute(roots.sys / "class" / "block" / node / "size");
    if (!text) {
        return std::nullopt;
    }
    try {
        return std::stoull(*text);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

struct VolumeIdentity {
    std::string type;
    std::string label;
    std::optional<std::uint32_t> serial;
    DWORD error = ERROR_SUCCESS; // why the serial is unknown
};

// The node a /dev/disk/by-* link points at is the last part of its target ("../../sda1").
std::optional<std::string> linkNamingNode(const fs::path& directory, const std::string& node) {
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError && target.filename() == node) {
            return it->path().filename().string();
        }
    }
    return std::nullopt;
}

// The label and serial from the file system's superblock where the node opens, else from the
// udev links. A volume whose serial stays unknown reports why, so that nothing is made up.
VolumeIdentity identifyVolume(const StorageRoots& roots, const std::string& node) {
    VolumeIdentity identity;
    if (node.empty()) {
        identity.error = ERROR_NOT_SUPPORTED; // memory, network and overlay file systems
        return identity;
    }
    const int fd = ::open((roots.dev / node).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        const ByteReader reader = [fd](std::uint64_t offset, std::span<std::uint8_t> out) {
            std::size_t done = 0;
            while (done < out.size()) {
                const ssize_t n = ::pread(fd, out.data() + done, out.size() - done,
                                          static_cast<off_t>(offset + done));
                if (n <= 0) {
                    return false;
                }
                done += static_cast<std::size_t>(n);
            }
            return true;
        };
        const auto found = identifyFileSystem(reader);
        ::close(fd);
        if (found) {
            identity.type = found->type;
            identity.label = found->label;
            identity.serial = found->serial;
        }
        identity.error = kErrorUnrecognizedVolume;
    } else {
        identity.error = errno == ENOMEDIUM ? ERROR_NOT_READY : ERROR_ACCESS_DENIED;
    }
    if (!identity.serial) {
        if (const auto label = linkNamingNode(roots.dev / "disk" / "by-label", node)) {
            identity.label = decodeUdevName(*label);
        }
        if (const auto uuid = linkNamingNode(roots.dev / "disk" / "by-uuid", node)) {
            identity.serial = serialFromUuid(*uuid);
        }
    }
    if (identity.serial) {
        identity.error = ERROR_SUCCESS;
    }
    return identity;
}

DWORD fileSystemFlags(const std::string& type) {
    if (type == "vfat" || type == "msdos" || type == "exfat" || type == "ntfs" || type == "ntfs3" ||
        type == "fuseblk" || type == "iso9660" || type == "udf" || type == "hfsplus") {
        return kFileCasePreservedNames | kFileUnicodeOnDisk;
    }
    return kFileCaseSensitiveSearch | kFileCasePreservedNames;
}

std::vector<std::uint8_t> deviceDescriptor(const BlockDevice& device) {
    STORAGE_DEVICE_DESCRIPTOR fixed{};
    fixed.Version = sizeof(STORAGE_DEVICE_DESCRIPTOR);
    fixed.DeviceType = device.cdrom ? 0x05 : 0x00;
    fixed.RemovableMedia = device.removable ? 1 : 0;
    fixed.CommandQueueing = device.commandQueueing ? 1 : 0;
    fixed.BusType = static_cast<STORAGE_BUS_TYPE>(windowsBusType(device.bus));
    // What sysfs does not have is absent, not an empty text.
    const auto present = [](const std::string& text) { return text.empty() ? nullptr : &text; };
    return storageDeviceDescriptor(fixed, {present(device.vendor), present(device.model),
                                           present(device.revision), present(device.serial)});
}

std::vector<std::uint8_t> temperatureDescriptor(const std::vector<TemperatureSensor>& sensors) {
    constexpr std::size_t header =
        offsetof(win32::StorageTemperatureDataDescriptor, TemperatureInfo);
    const std::size_t count = std::min<std::size_t>(sensors.size(), 0xFFFF);
    std::vector<std::uint8_t> bytes(header + count * sizeof(win32::StorageTemperatureInfo), 0);
    win32::StorageTemperatureDataDescriptor fixed{};
    fixed.Version = sizeof(win32::StorageTemperatureDataDescriptor);
    fixed.Size = static_cast<std::uint32_t>(bytes.size());
    fixed.CriticalTemperature = static_cast<std::int16_t>(sensors.front().critical.value_or(0));
    fixed.WarningTemperature = static_cast<std::int16_t>(sensors.front().warning.value_or(0));
    fixed.InfoCount = static_cast<std::uint16_t>(count);
    std::memcpy(bytes.data(), &fixed, header);
    for (std::size_t i = 0; i < count; ++i) {
        win32::StorageTemperatureInfo info{};
        info.Index = static_cast<std::uint16_t>(i);
        info.Temperature = static_cast<std::int16_t>(sensors[i].celsius);
        info.OverThreshold = static_cast<std::int16_t>(sensors[i].warning.value_or(0));
        info.UnderThreshold = static_cast<std::int16_t>(sensors[i].minimum.value_or(0));
        std::memcpy(bytes.data() + header + i * sizeof(info), &info, sizeof(info));
    }
    return bytes;
}

BOOL answered(DWORD error) {
    return error == 0 ? TRUE : fail(error);
}

bool isAtaBus(StorageBus bus) {
    return bus == StorageBus::Sata || bus == StorageBus::Pata;
}

// sysfs texts may carry anything; a drive's identification is printable ASCII.
std::string printable(std::string text) {
    for (char& c : text) {
        if (c < 0x20 || c >= 0x7F) {
            c = ' ';
        }
    }
    return text;
}

DriveFacts factsFor(const BlockDevice& device) {
    DriveFacts facts;
    facts.peripheralType = device.cdrom ? 0x05 : 0x00;
    facts.removable = device.removable;
    facts.mediumPresent = device.sectors > 0 || !device.removable;
    facts.scsiVersion = device.scsiLevel > 0 ? static_cast<std::uint8_t>(device.scsiLevel - 1) : 0;
    facts.vendor = printable(device.vendor);
    facts.product = printable(device.model);
    facts.revision = printable(device.revision);
    if (!device.serial.empty()) {
        facts.serial = printable(device.serial);
    }
    facts.vpd80 = readVpdPage(device, 0x80);
    facts.vpd83 = readVpdPage(device, 0x83);
    const auto sensors = readDriveTemperatures(device);
    if (!sensors.empty()) {
        facts.temperature = sensors.front().celsius;
        facts.referenceTemperature = sensors.front().critical;
    }
    facts.logicalBlockSize = device.logicalBlockSize;
    facts.logicalBlocks = device.sectors * 512 / device.logicalBlockSize;
    return facts;
}

// Only IDENTIFY is answered without the device: the texts sysfs gives, or the block libata
// recorded.
DriveFacts ataFactsFor(const BlockDevice& device) {
    DriveFacts facts;
    facts.ata = isAtaBus(device.bus);
    facts.removable = device.removable;
    facts.identify = AtaIdentity{printable(device.model), printable(device.serial),
                                 printable(device.revision), readAtaIdentify(device)};
    facts.ataSectors = device.sectors;
    return facts;
}

} // namespace

struct LinuxStorage::DeviceHandle {
    enum class Kind { Disk, CdRom, Volume };

    Kind kind = Kind::Disk;
    StorageRoots roots;
    std::optional<BlockDevice> whole; // the disk or CD-ROM drive the handle reaches
    std::string node;                 // the handle's own block node ("sda1"); empty without one
    std::optional<DWORD> number;      // disk or CD-ROM number; empty for a spanned volume
    DWORD partition = 0;
    DWORD deviceType = FILE_DEVICE_DISK;

    std::mutex openMutex;
    bool openTried = false;
    int fd = -1;

    ~DeviceHandle() {
        if (fd >= 0) {
            ::close(fd);
        }
    }

    // The whole device's /dev node, opened on first need; -1 when it does not open.
    int descriptor() {
        std::lock_guard lock(openMutex);
        if (!openTried && whole) {
            openTried = true;
            fd = ::open((roots.dev / whole->name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        }
        return fd;
    }

    // Size and removability change with the medium: read them again.
    BlockDevice current() const {
        if (auto fresh = readBlockDevice(roots.sys, whole->name)) {
            return *fresh;
        }
        return *whole;
    }
};

namespace {

using Handle = LinuxStorage::DeviceHandle;

BOOL queryDeviceNumber(const Handle& handle, void* out, DWORD outSize, DWORD* returned) {
    if (!handle.number) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    STORAGE_DEVICE_NUMBER number{};
    number.DeviceType = handle.deviceType;
    number.DeviceNumber = *handle.number;
    number.PartitionNumber = handle.partition;
    return answered(answerFixed(&number, sizeof(number), out, outSize, returned));
}

BOOL queryProperty(const Handle& handle, const void* in, DWORD inSize, void* out, DWORD outSize,
                   DWORD* returned) {
    if (in == nullptr || inSize < 8) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (!handle.whole) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    std::int32_t property = 0;
    std::int32_t type = 0;
    std::memcpy(&property, in, 4);
    std::memcpy(&type, static_cast<const std::uint8_t*>(in) + 4, 4);
    if (type != PropertyStandardQuery && type != 1) { // 1: PropertyExistsQuery
        return fail(ERROR_INVALID_PARAMETER);
    }
    const BlockDevice device = handle.current();
    std::vector<std::uint8_t> bytes;
    if (property == StorageDeviceProperty) {
        bytes = deviceDescriptor(device);
    } else if (property == StorageDeviceTemperatureProperty) {
        const auto sensors = readDriveTemperatures(device);
        if (sensors.empty()) {
            return fail(ERROR_NOT_SUPPORTED);
        }
        bytes = temperatureDescriptor(sensors);
    } else {
        return fail(ERROR_NOT_SUPPORTED);
    }
    if (type == 1) {
        setReturned(returned, 0);
        return TRUE;
    }
    return answered(answerDescriptor(bytes, out, outSize, returned));
}

BOOL queryLength(const Handle& handle, void* out, DWORD outSize, DWORD* returned) {
    if (handle.node.empty()) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    const auto sectors = nodeSectors(handle.roots, handle.node);
    if (!sectors) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    if (*sectors == 0) {
        return fail(ERROR_NOT_READY); // no medium
    }
    GET_LENGTH_INFORMATION length{};
    length.Length.QuadPart = static_cast<LONGLONG>(*sectors * 512);
    return answered(answerFixed(&length, sizeof(length), out, outSize, returned));
}

BOOL queryGeometry(Handle& handle, void* out, DWORD outSize, DWORD* returned) {
    if (!handle.whole) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    const BlockDevice device = handle.current();
    if (device.sectors == 0) {
        return fail(ERROR_NOT_READY);
    }
    DWORD heads = 255;
    DWORD perTrack = 63;
    if (device.cdrom) {
        heads = 64;
        perTrack = 32;
    } else if (const int fd = handle.descriptor(); fd >= 0) {
        hd_geometry geometry{};
        if (::ioctl(fd, HDIO_GETGEO, &geometry) == 0 && geometry.heads > 0 &&
            geometry.sectors > 0) {
            heads = geometry.heads;
            perTrack = geometry.sectors;
        }
    }
    DISK_GEOMETRY answer{};
    answer.BytesPerSector = device.logicalBlockSize;
    answer.TracksPerCylinder = heads;
    answer.SectorsPerTrack = perTrack;
    answer.Cylinders.QuadPart = static_cast<LONGLONG>(
        device.sectors * 512 / (std::uint64_t{heads} * perTrack * device.logicalBlockSize));
    answer.MediaType = device.removable || device.cdrom ? RemovableMedia : FixedMedia;
    return answered(answerFixed(&answer, sizeof(answer), out, outSize, returned));
}

struct ScsiOutcome {
    bool sent = false; // false: the request failed with `error`
    DWORD error = 0;
    ScsiAnswer answer;
};

// Runs one SCSI command: through SG_IO when the node opens and speaks SCSI, else from facts.
ScsiOutcome runScsi(Handle& handle, std::span<const std::uint8_t> cdb, DataDirection direction,
                    std::span<std::uint8_t> data, unsigned timeout) {
    ScsiOutcome outcome;
    if (const int fd = handle.descriptor(); fd >= 0) {
        SgResult result = sendScsiCommand(fd, cdb, direction, data, timeout);
        if (result.error == 0) {
            if (result.transportFailed) {
                outcome.error = kErrorIoDevice;
                return outcome;
            }
            outcome.sent = true;
            outcome.answer.status = result.status;
            outcome.answer.sense = std::move(result.sense);
            outcome.answer.data.assign(
                data.begin(), data.begin() + static_cast<std::ptrdiff_t>(
                                                 std::min(result.transferred, data.size())));
            return outcome;
        }
        const bool speaksScsi =
            result.error != ENOTTY && result.error != ENOSYS && result.error != EOPNOTSUPP;
        if (speaksScsi && !isSynthesizedScsiCommand(cdb[0])) {
            outcome.error = errorFromErrno(result.error);
            return outcome;
        }
        if (!speaksScsi && !isSynthesizedScsiCommand(cdb[0])) {
            // A device without a SCSI layer (virtio, NVMe) refuses what it does not know.
            outcome.sent = true;
            outcome.answer = answerScsiCommand(factsFor(handle.current()), cdb);
            return outcome;
        }
    } else if (!isSynthesizedScsiCommand(cdb[0])) {
        outcome.error = ERROR_ACCESS_DENIED;
        return outcome;
    }
    outcome.sent = true;
    outcome.answer = answerScsiCommand(factsFor(handle.current()), cdb);
    if (direction == DataDirection::In) {
        const std::size_t n = std::min(outcome.answer.data.size(), data.size());
        outcome.answer.data.resize(n);
    }
    return outcome;
}

BOOL scsiPassThrough(Handle& handle, const void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned) {
    if (!handle.whole) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    ScsiRequest request;
    if (const DWORD error = readScsiRequest(in, inSize, out, outSize, request); error != 0) {
        return fail(error);
    }
    std::vector<std::uint8_t> data(request.header.DataTransferLength, 0);
    std::copy(request.outgoing.begin(), request.outgoing.end(), data.begin());
    ScsiOutcome outcome =
        runScsi(handle, request.cdb(), request.direction, data, request.header.TimeOutValue);
    if (!outcome.sent) {
        return fail(outcome.error);
    }
    setReturned(returned, writeScsiAnswer(request, outcome.answer, out));
    return TRUE;
}

struct AtaOutcome {
    bool done = false; // false: the request failed with `error`
    DWORD error = 0;
    AtaTaskFile registers;
    std::vector<std::uint8_t> data;
};

// Runs one ATA command: through SAT on SG_IO where the node opens, else IDENTIFY from what
// libata recorded (or from sysfs texts). Other commands need the device.
AtaOutcome runAta(Handle& handle, const AtaTaskFile& registers, DataDirection direction,
                  std::span<const std::uint8_t> dataOut, std::size_t dataInBytes,
                  unsigned timeout) {
    AtaOutcome outcome;
    const BlockDevice device = handle.current();
    std::vector<std::uint8_t> data(direction == DataDirection::In ? dataInBytes : dataOut.size());
    if (direction == DataDirection::Out) {
        std::copy(dataOut.begin(), dataOut.end(), data.begin());
    }
    bool deviceRefused = false;
    if (const int fd = handle.descriptor(); fd >= 0) {
        const auto cdb = ataPassThroughCdb(registers, direction, data.size());
        SgResult result = sendScsiCommand(fd, cdb, direction, data, timeout);
        if (result.error == 0 && !result.transportFailed) {
            outcome.registers = registers;
            if (decodeAtaReturn(result.sense, outcome.registers) || result.status == kScsiGood) {
                if (result.status == kScsiGood && result.sense.empty()) {
                    outcome.registers.features = 0;
                    outcome.registers.command = kAtaStatusReady;
                }
                outcome.done = true;
                data.resize(std::min(result.transferred, data.size()));
                outcome.data = std::move(data);
                return outcome;
            }
            deviceRefused = true; // the translation layer does not pass ATA commands
        } else if (result.error == EACCES || result.error == EPERM) {
            outcome.error = ERROR_ACCESS_DENIED;
            return outcome;
        }
    }
    if (!isAtaBus(device.bus)) {
        outcome.error = ERROR_INVALID_FUNCTION; // not an ATA device
        return outcome;
    }
    if (registers.command == kAtaIdentifyDevice && direction == DataDirection::In &&
        !deviceRefused) {
        AtaAnswer answer = answerAtaCommand(ataFactsFor(device), registers);
        outcome.done = true;
        outcome.registers = answer.registers;
        answer.data.resize(std::min(answer.data.size(), data.size()));
        outcome.data = std::move(answer.data);
        return outcome;
    }
    if (deviceRefused) {
        outcome.done = true;
        outcome.registers = registers;
        outcome.registers.features = kAtaErrorAbort;
        outcome.registers.command = kAtaStatusReady | kAtaStatusError;
        return outcome;
    }
    outcome.error = ERROR_ACCESS_DENIED;
    return outcome;
}

BOOL ataPassThrough(Handle& handle, const void* in, DWORD inSize, void* out, DWORD outSize,
                    DWORD* returned) {
    if (!handle.whole) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    AtaRequest request;
    if (const DWORD error = readAtaRequest(in, inSize, out, outSize, request); error != 0) {
        return fail(error);
    }
    const AtaOutcome outcome =
        runAta(handle, request.registers, request.direction, request.outgoing,
               request.header.DataTransferLength, request.header.TimeOutValue);
    if (!outcome.done) {
        return fail(outcome.error);
    }
    setReturned(returned, writeAtaAnswer(request, outcome.registers, outcome.data, out));
    return TRUE;
}

BOOL smartReceive(Handle& handle, const void* in, DWORD inSize, void* out, DWORD outSize,
                  DWORD* returned) {
    if (!handle.whole) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    AtaTaskFile registers;
    if (const DWORD error = readSmartRequest(in, inSize, out, outSize, registers); error != 0) {
        return fail(error);
    }
    const AtaOutcome outcome = runAta(handle, registers, DataDirection::In, {}, 512, 10);
    if (!outcome.done) {
        return fail(outcome.error);
    }
    setReturned(returned, writeSmartAnswer(outcome.registers, outcome.data, out));
    return TRUE;
}

} // namespace

LinuxStorage::LinuxStorage(StorageRoots roots) : roots_(std::move(roots)) {}

LinuxStorage::~LinuxStorage() = default;

StorageView LinuxStorage::view() const {
    return StorageView::read(roots_);
}

std::shared_ptr<LinuxStorage::DeviceHandle> LinuxStorage::find(HANDLE handle) const {
    std::lock_guard lock(mutex_);
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second;
}

std::size_t LinuxStorage::openHandleCount() const {
    std::lock_guard lock(mutex_);
    return handles_.size();
}

HANDLE LinuxStorage::createFile(const char16_t* name, DWORD /*access*/, DWORD /*share*/,
                                DWORD disposition, DWORD /*flags*/) {
    if (name == nullptr) {
        setLastError(kErrorPathNotFound);
        return INVALID_HANDLE_VALUE;
    }
    if (disposition < 1 || disposition > 5) {
        setLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::u16string_view path(name);
    const StorageView storage = view();
    auto handle = std::make_shared<DeviceHandle>();
    handle->roots = roots_;
    bool found = false;

    const auto openDisk = [&](std::size_t number) {
        handle->kind = DeviceHandle::Kind::Disk;
        handle->whole = storage.inventory().disks[number];
        handle->node = handle->whole->name;
        handle->number = static_cast<DWORD>(number);
        found = true;
    };
    const auto openCdrom = [&](std::size_t number) {
        handle->kind = DeviceHandle::Kind::CdRom;
        handle->whole = storage.inventory().cdroms[number];
        handle->node = handle->whole->name;
        handle->number = static_cast<DWORD>(number);
        handle->deviceType = FILE_DEVICE_CD_ROM;
        handle->partition = 0xFFFFFFFFu; // CD-ROM devices have no partitions
        found = true;
    };
    const auto numberAfter = [&path](std::u16string_view prefix) -> std::optional<std::size_t> {
        if (!startsWithNoCase(path, prefix) || path.size() == prefix.size() ||
            path.size() > prefix.size() + 4) {
            return std::nullopt;
        }
        std::size_t value = 0;
        for (const char16_t c : path.substr(prefix.size())) {
            if (c < u'0' || c > u'9') {
                return std::nullopt;
            }
            value = value * 10 + static_cast<std::size_t>(c - u'0');
        }
        return value;
    };

    const bool devicePrefix = path.starts_with(u"\\\\.\\") || path.starts_with(u"\\\\?\\");
    if (devicePrefix && path.size() == 6 && path[5] == u':') {
        if (const DriveLetter* drive = storage.findLetter(path[4])) {
            handle->kind = DeviceHandle::Kind::Volume;
            handle->node = drive->blockName;
            handle->partition = drive->partition;
            if (drive->disks.size() == 1) {
                handle->whole = storage.inventory().disks[drive->disks.front()];
                handle->number = static_cast<DWORD>(drive->disks.front());
            } else if (drive->cdrom) {
                handle->whole = storage.inventory().cdroms[*drive->cdrom];
                handle->number = static_cast<DWORD>(*drive->cdrom);
                handle->deviceType = FILE_DEVICE_CD_ROM;
                handle->partition = 0xFFFFFFFFu;
                if (handle->node.empty()) {
                    handle->node = handle->whole->name;
                }
            }
            found = true;
        }
    } else if (const auto disk =
                   devicePrefix ? numberAfter(u"\\\\.\\PhysicalDrive") : std::nullopt) {
        if (*disk < storage.inventory().disks.size()) {
            openDisk(*disk);
        }
    } else if (const auto cd = devicePrefix ? numberAfter(u"\\\\.\\CdRom") : std::nullopt) {
        if (*cd < storage.inventory().cdroms.size()) {
            openCdrom(*cd);
        }
    } else if (devicePrefix) {
        // Interface paths open under either prefix, in any letter case.
        const std::u16string_view rest = path.substr(4);
        for (std::size_t i = 0; i < storage.inventory().disks.size() && !found; ++i) {
            const std::u16string interface =
                utf8ToUtf16(diskInterfacePath(deviceInstanceId(storage.inventory().disks[i])));
            if (equalsNoCase(rest, std::u16string_view(interface).substr(4))) {
                openDisk(i);
            }
        }
    }
    if (!found) {
        setLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard lock(mutex_);
    // Fresh values, never reused: a closed handle stays invalid.
    nextHandle_ += 4;
    const auto value = reinterpret_cast<HANDLE>(nextHandle_);
    handles_.emplace(value, std::move(handle));
    setLastError(ERROR_SUCCESS);
    return value;
}

BOOL LinuxStorage::closeHandle(HANDLE handle) {
    std::shared_ptr<DeviceHandle> closing;
    {
        std::lock_guard lock(mutex_);
        const auto it = handles_.find(handle);
        if (it == handles_.end()) {
            return fail(ERROR_INVALID_HANDLE);
        }
        closing = std::move(it->second);
        handles_.erase(it);
    }
    return TRUE;
}

BOOL LinuxStorage::deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                   DWORD outSize, DWORD* returned) {
    setReturned(returned, 0);
    const auto handle = find(device);
    if (!handle) {
        return fail(ERROR_INVALID_HANDLE);
    }
    switch (code) {
    case IOCTL_STORAGE_GET_DEVICE_NUMBER:
        return queryDeviceNumber(*handle, out, outSize, returned);
    case IOCTL_STORAGE_QUERY_PROPERTY:
        return queryProperty(*handle, in, inSize, out, outSize, returned);
    case IOCTL_DISK_GET_LENGTH_INFO:
        return queryLength(*handle, out, outSize, returned);
    case IOCTL_DISK_GET_DRIVE_GEOMETRY:
        return queryGeometry(*handle, out, outSize, returned);
    case win32::kIoctlScsiPassThrough:
        return scsiPassThrough(*handle, in, inSize, out, outSize, returned);
    case win32::kIoctlAtaPassThrough:
        return ataPassThrough(*handle, in, inSize, out, outSize, returned);
    case win32::kSmartRcvDriveData:
        return smartReceive(*handle, in, inSize, out, outSize, returned);
    default:
        return fail(ERROR_INVALID_FUNCTION);
    }
}

DWORD LinuxStorage::getLogicalDrives() {
    DWORD mask = 0;
    const StorageView storage = view();
    for (const auto& drive : storage.letters()) {
        mask |= DWORD{1} << (drive.letter - 'A');
    }
    setLastError(ERROR_SUCCESS);
    return mask;
}

namespace {

// The drive root a call names; a null root means the working directory's drive.
std::optional<DriveRoot> rootOf(const char16_t* root, const StorageView& storage,
                                const StorageRoots& roots) {
    if (root != nullptr) {
        return parseDriveRoot(root);
    }
    std::error_code error;
    const fs::path cwd = roots.cwd.empty() ? fs::current_path(error) : roots.cwd;
    if (error) {
        return std::nullopt;
    }
    const auto path = storage.windowsPath(cwd.lexically_normal().generic_string());
    if (!path) {
        return std::nullopt;
    }
    return DriveRoot{static_cast<char16_t>((*path)[0]), u""};
}

} // namespace

UINT LinuxStorage::getDriveType(const char16_t* root) {
    const StorageView storage = view();
    const auto parsed = rootOf(root, storage, roots_);
    if (!parsed || !isBareRoot(*parsed)) {
        return DRIVE_NO_ROOT_DIR;
    }
    const DriveLetter* drive = storage.findLetter(parsed->letter);
    return drive == nullptr ? DRIVE_NO_ROOT_DIR : drive->driveType();
}

int LinuxStorage::isNetDrive(int drive) {
    if (drive < 0 || drive > 25) {
        return 0;
    }
    const StorageView storage = view();
    const DriveLetter* found = storage.findLetter(static_cast<char16_t>(u'A' + drive));
    return found != nullptr && found->kind == VolumeKind::Network ? 1 : 0;
}

BOOL LinuxStorage::getVolumeInformation(const char16_t* root, char16_t* name, DWORD nameSize,
                                        DWORD* serial, DWORD* maxComponent, DWORD* flags,
                                        char16_t* fileSystem, DWORD fileSystemSize) {
    const StorageView storage = view();
    const auto parsed = rootOf(root, storage, roots_);
    if (!parsed) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const DriveLetter* drive = storage.findLetter(parsed->letter);
    if (drive == nullptr) {
        return fail(kErrorPathNotFound);
    }
    if (!isBareRoot(*parsed)) {
        return fail(kErrorDirNotRoot);
    }
    const MountEntry* mount = storage.mountOf(*drive);
    if (mount == nullptr) {
        return fail(ERROR_NOT_READY); // a CD-ROM drive without a medium
    }
    const VolumeIdentity identity = identifyVolume(roots_, drive->blockName);
    if (identity.error != ERROR_SUCCESS) {
        return fail(identity.error);
    }
    std::string type = mount->fsType;
    if (type == "fuseblk" && !identity.type.empty()) {
        type = identity.type; // the FUSE driver hides the real file system
    }
    DWORD componentLength = 255;
    if (const auto path = storage.linuxPath(*drive, "")) {
        struct statvfs stats {};
        if (::statvfs(path->c_str(), &stats) == 0 && stats.f_namemax > 0) {
            componentLength = static_cast<DWORD>(stats.f_namemax);
        }
    }
    if (!copyText(utf8ToUtf16(identity.label), name, nameSize) ||
        !copyText(utf8ToUtf16(type), fileSystem, fileSystemSize)) {
        return fail(kErrorBadLength);
    }
    if (serial != nullptr) {
        *serial = identity.serial.value_or(0);
    }
    if (maxComponent != nullptr) {
        *maxComponent = componentLength;
    }
    if (flags != nullptr) {
        *flags = fileSystemFlags(type) | (isReadOnlyMount(*mount) ? FILE_READ_ONLY_VOLUME : 0);
    }
    setLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL LinuxStorage::getDiskFreeSpaceEx(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                                      ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
    const StorageView storage = view();
    const auto parsed = rootOf(root, storage, roots_);
    if (!parsed) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const DriveLetter* drive = storage.findLetter(parsed->letter);
    if (drive == nullptr) {
        return fail(kErrorPathNotFound);
    }
    const auto path = storage.linuxPath(*drive, utf16ToUtf8(parsed->rest));
    if (!path) {
        return fail(ERROR_NOT_READY);
    }
    struct statvfs stats {};
    if (::statvfs(path->c_str(), &stats) != 0) {
        return fail(errorFromErrno(errno));
    }
    const std::uint64_t unit = stats.f_frsize != 0 ? stats.f_frsize : stats.f_bsize;
    if (availableToCaller != nullptr) {
        availableToCaller->QuadPart = std::uint64_t{stats.f_bavail} * unit;
    }
    if (total != nullptr) {
        total->QuadPart = std::uint64_t{stats.f_blocks} * unit;
    }
    if (totalFree != nullptr) {
        totalFree->QuadPart = std::uint64_t{stats.f_bfree} * unit;
    }
    setLastError(ERROR_SUCCESS);
    return TRUE;
}

UINT LinuxStorage::getSystemDirectory(char16_t* buffer, UINT size) {
    // The system lives on the root file system; its root directory stands for the system
    // directory, which Linux does not have.
    const auto path = view().windowsPath("/");
    if (!path) {
        setLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const std::u16string text = utf8ToUtf16(*path);
    if (buffer == nullptr || size <= text.size()) {
        return static_cast<UINT>(text.size() + 1);
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return static_cast<UINT>(text.size());
}

DWORD LinuxStorage::getModuleFileName(char16_t* buffer, DWORD size) {
    std::error_code failure;
    const fs::path target = fs::read_symlink(roots_.exe, failure);
    if (failure) {
        setLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const auto path = view().windowsPath(target.lexically_normal().generic_string());
    if (!path) {
        setLastError(ERROR_FILE_NOT_FOUND); // the program lies on no lettered volume
        return 0;
    }
    DWORD error = 0;
    const DWORD length = answerTruncated(utf8ToUtf16(*path), buffer, size, error);
    if (error != 0) {
        setLastError(error);
    }
    return length;
}

// Never destroyed: the library's objects destroyed at exit (the disks, with their open handles)
// still close through it, whatever the order in which they were created.
LinuxStorage& liveStorage() {
    static LinuxStorage* const storage = new LinuxStorage;
    return *storage;
}

HANDLE LinuxBackend::createFile(const char16_t* name, DWORD access, DWORD share, DWORD disposition,
                                DWORD flags) {
    return liveStorage().createFile(name, access, share, disposition, flags);
}

BOOL LinuxBackend::closeHandle(HANDLE handle) {
    return liveStorage().closeHandle(handle);
}

BOOL LinuxBackend::deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                   DWORD outSize, DWORD* returned) {
    return liveStorage().deviceIoControl(device, code, in, inSize, out, outSize, returned);
}

DWORD LinuxBackend::getLogicalDrives() {
    return liveStorage().getLogicalDrives();
}

UINT LinuxBackend::getDriveType(const char16_t* root) {
    return liveStorage().getDriveType(root);
}

int LinuxBackend::isNetDrive(int drive) {
    return liveStorage().isNetDrive(drive);
}

BOOL LinuxBackend::getVolumeInformation(const char16_t* root, char16_t* name, DWORD nameSize,
                                        DWORD* serial, DWORD* maxComponent, DWORD* flags,
                                        char16_t* fileSystem, DWORD fileSystemSize) {
    return liveStorage().getVolumeInformation(root, name, nameSize, serial, maxComponent, flags,
                                              fileSystem, fileSystemSize);
}

BOOL LinuxBackend::getDiskFreeSpaceEx(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                                      ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
    return liveStorage().getDiskFreeSpaceEx(root, availableToCaller, total, totalFree);
}

UINT LinuxBackend::getSystemDirectory(char16_t* buffer, UINT size) {
    return liveStorage().getSystemDirectory(buffer, size);
}

DWORD LinuxBackend::getModuleFileName(char16_t* buffer, DWORD size) {
    return liveStorage().getModuleFileName(buffer, size);
}

} // namespace platform
