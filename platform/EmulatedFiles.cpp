// Handles and the storage control requests: device number, the property queries, length,
// geometry, and the SCSI, ATA and SMART pass-through, each request checked once
// (PassThroughRequest.h) and sent to the device where the source reaches it, else answered from
// the facts (DriveAnswers.h).

#include "platform/StorageEmulator.h"

#include "platform/BufferAnswer.h"
#include "platform/PassThrough.h"
#include "platform/PassThroughRequest.h"
#include "platform/WideText.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

thread_local DWORD threadLastError = ERROR_SUCCESS;

constexpr DWORD kErrorPathNotFound = 3;
constexpr std::int32_t kPropertyExistsQuery = 1;

BOOL fail(DWORD error) {
    setLastError(error);
    return FALSE;
}

BOOL answered(DWORD error) {
    return error == 0 ? TRUE : fail(error);
}

// The path after its device prefix (\\.\ or \\?\), or the path itself.
std::u16string_view withoutPrefix(std::u16string_view path) {
    if (path.starts_with(u"\\\\.\\") || path.starts_with(u"\\\\?\\")) {
        path.remove_prefix(4);
    }
    return path;
}

// `\\.\X:` or `\\?\X:`: a drive letter's volume device.
std::optional<char> volumeDeviceLetter(std::u16string_view name) {
    if (name.size() != 6 || withoutPrefix(name).size() != 2 || name[5] != u':') {
        return std::nullopt;
    }
    const char16_t letter = asciiUpper(name[4]);
    if (letter < u'A' || letter > u'Z') {
        return std::nullopt;
    }
    return static_cast<char>(letter);
}

BOOL deviceNumber(const std::optional<DeviceNumberFacts>& facts, void* out, DWORD outSize,
                  DWORD* returned) {
    if (!facts) {
        return fail(ERROR_INVALID_FUNCTION);
    }
    STORAGE_DEVICE_NUMBER number{};
    number.DeviceType = facts->type;
    number.DeviceNumber = facts->number;
    number.PartitionNumber = facts->partition;
    return answered(answerFixed(&number, sizeof(number), out, outSize, returned));
}

BOOL length(const std::optional<std::uint64_t>& bytes, void* out, DWORD outSize, DWORD* returned) {
    if (!bytes) {
        return fail(ERROR_NOT_READY); // no medium
    }
    GET_LENGTH_INFORMATION answer{};
    answer.Length.QuadPart = static_cast<LONGLONG>(*bytes);
    return answered(answerFixed(&answer, sizeof(answer), out, outSize, returned));
}

BOOL queryProperty(const DiskFacts& disk, const void* in, DWORD inSize, void* out, DWORD outSize,
                   DWORD* returned) {
    if (in == nullptr || inSize < 8) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    std::int32_t property = 0;
    std::int32_t type = 0;
    std::memcpy(&property, in, 4);
    std::memcpy(&type, static_cast<const std::uint8_t*>(in) + 4, 4);
    if (type != PropertyStandardQuery && type != kPropertyExistsQuery) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const std::optional<std::vector<std::uint8_t>>* bytes = nullptr;
    if (property == StorageDeviceProperty) {
        bytes = &disk.descriptor;
    } else if (property == StorageDeviceTemperatureProperty) {
        bytes = &disk.temperatures;
    }
    if (bytes == nullptr || !bytes->has_value()) {
        return fail(ERROR_NOT_SUPPORTED);
    }
    if (type == kPropertyExistsQuery) {
        return TRUE;
    }
    return answered(answerDescriptor(**bytes, out, outSize, returned));
}

BOOL geometry(const DiskFacts& disk, void* out, DWORD outSize, DWORD* returned) {
    if (!disk.geometry) {
        return fail(ERROR_NOT_READY);
    }
    GeometryFacts facts = *disk.geometry;
    if (disk.device) {
        disk.device->refineGeometry(facts);
    }
    DISK_GEOMETRY answer{};
    answer.Cylinders.QuadPart = static_cast<LONGLONG>(facts.cylinders);
    // Copied, not cast: the SDK's enumeration has no fixed width for unknown values.
    static_assert(sizeof(answer.MediaType) == sizeof(facts.mediaType));
    std::memcpy(&answer.MediaType, &facts.mediaType, sizeof(facts.mediaType));
    answer.TracksPerCylinder = facts.tracksPerCylinder;
    answer.SectorsPerTrack = facts.sectorsPerTrack;
    answer.BytesPerSector = facts.bytesPerSector;
    return answered(answerFixed(&answer, sizeof(answer), out, outSize, returned));
}

using Channel = DeviceChannel;

BOOL scsiPassThrough(const DiskFacts& disk, const void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned) {
    if (!disk.drive || !(disk.drive->speaksScsi || disk.drive->ata)) {
        return fail(ERROR_INVALID_FUNCTION); // no SCSI or SAT command set behind this path
    }
    ScsiRequest request;
    if (const DWORD error = readScsiRequest(in, inSize, out, outSize, request); error != 0) {
        return fail(error);
    }
    Channel::Outcome<ScsiAnswer> outcome;
    if (disk.device) {
        std::vector<std::uint8_t> data(request.header.DataTransferLength, 0);
        std::copy(request.outgoing.begin(), request.outgoing.end(), data.begin());
        outcome =
            disk.device->scsi(request.cdb(), request.direction, data, request.header.TimeOutValue);
    }
    if (outcome.kind == Channel::Outcome<ScsiAnswer>::Kind::Failed) {
        return fail(outcome.error);
    }
    if (outcome.kind == Channel::Outcome<ScsiAnswer>::Kind::FromFacts) {
        outcome.answer = answerScsiCommand(*disk.drive, request.cdb());
    }
    *returned = static_cast<DWORD>(writeScsiAnswer(request, outcome.answer, out));
    return TRUE;
}

// One ATA command: to the device, else from the facts of an ATA drive.
BOOL runAta(const DiskFacts& disk, const AtaTaskFile& registers, DataDirection direction,
            std::span<const std::uint8_t> outgoing, std::size_t dataInBytes, unsigned timeout,
            Channel::AtaReply& reply) {
    Channel::Outcome<Channel::AtaReply> outcome;
    if (disk.device) {
        std::vector<std::uint8_t> data(direction == DataDirection::Out ? outgoing.size()
                                                                       : dataInBytes);
        std::copy(outgoing.begin(), outgoing.end(), data.begin());
        outcome = disk.device->ata(registers, direction, data, timeout);
    }
    if (outcome.kind == Channel::Outcome<Channel::AtaReply>::Kind::Failed) {
        return fail(outcome.error);
    }
    if (outcome.kind == Channel::Outcome<Channel::AtaReply>::Kind::Answered) {
        reply = std::move(outcome.answer);
        return TRUE;
    }
    if (!disk.drive || !disk.drive->ata) {
        return fail(ERROR_INVALID_FUNCTION); // not an ATA device
    }
    AtaAnswer answer = answerAtaCommand(*disk.drive, registers);
    reply.registers = answer.registers;
    reply.data = std::move(answer.data);
    return TRUE;
}

BOOL ataPassThrough(const DiskFacts& disk, const void* in, DWORD inSize, void* out, DWORD outSize,
                    DWORD* returned) {
    AtaRequest request;
    if (const DWORD error = readAtaRequest(in, inSize, out, outSize, request); error != 0) {
        return fail(error);
    }
    Channel::AtaReply reply;
    if (!runAta(disk, request.registers, request.direction, request.outgoing,
                request.header.DataTransferLength, request.header.TimeOutValue, reply)) {
        return FALSE;
    }
    *returned = static_cast<DWORD>(writeAtaAnswer(request, reply.registers, reply.data, out));
    return TRUE;
}

BOOL smartReceive(const DiskFacts& disk, const void* in, DWORD inSize, void* out, DWORD outSize,
                  DWORD* returned) {
    AtaTaskFile registers;
    if (const DWORD error = readSmartRequest(in, inSize, out, outSize, registers); error != 0) {
        return fail(error);
    }
    Channel::AtaReply reply;
    if (!runAta(disk, registers, DataDirection::In, {}, 512, 10, reply)) {
        return FALSE;
    }
    *returned = static_cast<DWORD>(writeSmartAnswer(reply.registers, reply.data, out));
    return TRUE;
}

BOOL diskIoControl(const DiskFacts& disk, DWORD code, void* in, DWORD inSize, void* out,
                   DWORD outSize, DWORD* returned) {
    switch (code) {
    case IOCTL_STORAGE_GET_DEVICE_NUMBER:
        return deviceNumber(disk.deviceNumber, out, outSize, returned);
    case IOCTL_STORAGE_QUERY_PROPERTY:
        return queryProperty(disk, in, inSize, out, outSize, returned);
    case IOCTL_DISK_GET_LENGTH_INFO:
        return length(disk.length, out, outSize, returned);
    case IOCTL_DISK_GET_DRIVE_GEOMETRY:
        return geometry(disk, out, outSize, returned);
    case win32::kIoctlScsiPassThrough:
        return scsiPassThrough(disk, in, inSize, out, outSize, returned);
    case win32::kIoctlAtaPassThrough:
        return ataPassThrough(disk, in, inSize, out, outSize, returned);
    case win32::kSmartRcvDriveData:
        return smartReceive(disk, in, inSize, out, outSize, returned);
    default:
        return fail(ERROR_INVALID_FUNCTION);
    }
}

} // namespace

void setLastError(DWORD error) {
    threadLastError = error;
}

DWORD lastError() {
    return threadLastError;
}

RegistryValue registryText(std::u16string_view text, std::uint32_t type) {
    RegistryValue value{type, std::vector<std::uint8_t>((text.size() + 1) * 2, 0)};
    for (std::size_t i = 0; i < text.size(); ++i) {
        value.data[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
        value.data[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
    return value;
}

std::shared_ptr<const DiskFacts> findDisk(const StorageFacts& facts, std::u16string_view path) {
    if (const auto exact = facts.disks.find(std::u16string(path)); exact != facts.disks.end()) {
        return exact->second;
    }
    const std::u16string_view wanted = withoutPrefix(path);
    if (wanted.size() == path.size()) {
        return nullptr; // only device paths open a disk
    }
    for (const auto& [name, disk] : facts.disks) {
        const std::u16string_view candidate = withoutPrefix(name);
        if (candidate.size() != name.size() && equalsNoCase(candidate, wanted)) {
            return disk;
        }
    }
    return nullptr;
}

StorageEmulator::StorageEmulator() : tables_(std::make_unique<Tables>()) {}
StorageEmulator::~StorageEmulator() = default;
StorageEmulator::StorageEmulator(StorageEmulator&&) noexcept = default;
StorageEmulator& StorageEmulator::operator=(StorageEmulator&&) noexcept = default;

std::optional<StorageEmulator::OpenFile> StorageEmulator::openFile(HANDLE handle) const {
    std::lock_guard lock(tables_->mutex);
    const auto it = tables_->files.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == tables_->files.end() ? std::nullopt : std::optional(it->second);
}

HANDLE StorageEmulator::createFile(const char16_t* name, DWORD /*access*/, DWORD /*share*/,
                                   DWORD disposition, DWORD /*flags*/) {
    if (name == nullptr) {
        setLastError(kErrorPathNotFound);
        return INVALID_HANDLE_VALUE;
    }
    if (disposition < 1 || disposition > 5) { // CREATE_NEW .. TRUNCATE_EXISTING
        setLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    OpenFile file{name, volumeDeviceLetter(name)};
    const auto facts = storageFacts();
    bool openable = false;
    if (file.letter) {
        const auto letter = facts->letters.find(*file.letter);
        if (letter == facts->letters.end()) {
            setLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        openable = letter->second.openable;
    } else {
        const auto disk = findDisk(*facts, file.name);
        if (!disk) {
            setLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        openable = disk->openable;
    }
    if (!openable) {
        setLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard lock(tables_->mutex);
    const HANDLE handle = tables_->newHandle();
    ++tables_->opens;
    ++tables_->opensByPath[file.name];
    tables_->files.emplace(reinterpret_cast<std::uintptr_t>(handle), std::move(file));
    setLastError(ERROR_SUCCESS);
    return handle;
}

BOOL StorageEmulator::closeHandle(HANDLE handle) {
    std::lock_guard lock(tables_->mutex);
    const auto it = tables_->files.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == tables_->files.end()) {
        ++tables_->invalidCloses;
        return fail(ERROR_INVALID_HANDLE);
    }
    ++tables_->closes;
    ++tables_->closesByPath[it->second.name];
    tables_->files.erase(it);
    return TRUE;
}

BOOL StorageEmulator::deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                      DWORD outSize, DWORD* returned) {
    // Without an overlapped structure Win32 requires the byte count.
    if (returned == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    *returned = 0;
    const auto file = openFile(device);
    if (!file) {
        return fail(ERROR_INVALID_HANDLE);
    }
    const auto facts = storageFacts();
    std::shared_ptr<const DiskFacts> disk;
    if (file->letter) {
        const auto letter = facts->letters.find(*file->letter);
        if (letter == facts->letters.end()) {
            return fail(ERROR_NOT_READY); // gone while open
        }
        // A volume answers which disk it lies on and its own length; the rest is the disk's.
        if (code == IOCTL_STORAGE_GET_DEVICE_NUMBER) {
            return deviceNumber(letter->second.deviceNumber, out, outSize, returned);
        }
        if (code == IOCTL_DISK_GET_LENGTH_INFO && letter->second.length) {
            return length(letter->second.length, out, outSize, returned);
        }
        if (letter->second.disk) {
            disk = findDisk(*facts, *letter->second.disk);
        }
        if (!disk) {
            return fail(ERROR_INVALID_FUNCTION);
        }
    } else {
        disk = findDisk(*facts, file->name);
        if (!disk) {
            return fail(ERROR_NOT_READY); // gone while open
        }
    }
    return diskIoControl(*disk, code, in, inSize, out, outSize, returned);
}

std::size_t StorageEmulator::opens() const {
    return read(&Tables::opens);
}

std::size_t StorageEmulator::closes() const {
    return read(&Tables::closes);
}

namespace {
std::size_t countOf(const std::map<std::u16string, std::size_t, std::less<>>& counts,
                    std::u16string_view path) {
    const auto it = counts.find(path);
    return it == counts.end() ? 0 : it->second;
}
} // namespace

std::size_t StorageEmulator::opens(std::u16string_view path) const {
    std::lock_guard lock(tables_->mutex);
    return countOf(tables_->opensByPath, path);
}

std::size_t StorageEmulator::closes(std::u16string_view path) const {
    std::lock_guard lock(tables_->mutex);
    return countOf(tables_->closesByPath, path);
}

std::size_t StorageEmulator::openHandleCount() const {
    std::lock_guard lock(tables_->mutex);
    return tables_->files.size();
}

std::size_t StorageEmulator::invalidCloses() const {
    return read(&Tables::invalidCloses);
}

std::size_t StorageEmulator::deviceSetsCreated() const {
    return read(&Tables::setsCreated);
}

std::size_t StorageEmulator::deviceSetsDestroyed() const {
    return read(&Tables::setsDestroyed);
}

std::size_t StorageEmulator::openDeviceSetCount() const {
    std::lock_guard lock(tables_->mutex);
    return tables_->sets.size();
}

std::size_t StorageEmulator::invalidDeviceSetDestroys() const {
    return read(&Tables::invalidSetDestroys);
}

} // namespace platform
