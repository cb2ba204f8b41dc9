// Files, storage control requests, drive letters and volumes of the simulated machine.

#include "platform/simulated/SimulatedMachine.h"

#include "platform/BufferAnswer.h"
#include "platform/PassThrough.h"
#include "platform/simulated/DiskAnswers.h"

#include <algorithm>
#include <cstring>

namespace platform::simulated {
namespace {

constexpr DWORD kErrorPathNotFound = 3;
constexpr DWORD kErrorBadLength = 24;
constexpr DWORD kErrorInvalidName = 123;
constexpr DWORD kMaxComponentLength = 255;

std::optional<char> letterOf(char16_t c) {
    if (c >= u'A' && c <= u'Z') {
        return static_cast<char>(c);
    }
    if (c >= u'a' && c <= u'z') {
        return static_cast<char>(c - u'a' + 'A');
    }
    return std::nullopt;
}

// `\\.\X:`: a drive letter's volume device.
std::optional<char> volumeDeviceLetter(std::u16string_view name) {
    if (name.size() != 6 || name.substr(0, 4) != u"\\\\.\\" || name[5] != u':') {
        return std::nullopt;
    }
    return letterOf(name[4]);
}

// `X:\`, `\\.\X:\` or `\\?\X:\`; with `directory`, any path on the drive (`X:`, `X:\dir`).
std::optional<char> rootLetter(const char16_t* root, bool directory) {
    if (root == nullptr) {
        return std::nullopt;
    }
    std::u16string_view path(root);
    if (path.substr(0, 4) == u"\\\\.\\" || path.substr(0, 4) == u"\\\\?\\") {
        path.remove_prefix(4);
    }
    if (path.size() < 2 || path[1] != u':') {
        return std::nullopt;
    }
    const bool isRoot = path.size() == 3 && path[2] == u'\\';
    const bool onDrive = path.size() == 2 || path[2] == u'\\';
    if (!(directory ? onDrive : isRoot)) {
        return std::nullopt;
    }
    return letterOf(path[0]);
}

} // namespace

HANDLE SimulatedMachine::createFile(const char16_t* name, DWORD /*access*/, DWORD /*share*/,
                                    DWORD /*disposition*/, DWORD /*flags*/) {
    if (name == nullptr) {
        setLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::u16string_view view(name);
    OpenFile file{std::u16string(view), volumeDeviceLetter(view)};
    bool openable = false;
    if (file.letter) {
        const auto drive = state().drives.find(*file.letter);
        if (drive == state().drives.end()) {
            setLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        openable = drive->second.openable;
    } else {
        const auto disk = state().disks.find(file.name);
        if (disk == state().disks.end()) {
            setLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        openable = disk->second.openable;
    }
    if (!openable) {
        setLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = newHandleValue();
    ++opens_;
    ++opensByPath_[file.name];
    handles_.emplace(reinterpret_cast<std::uintptr_t>(handle), std::move(file));
    return handle;
}

BOOL SimulatedMachine::closeHandle(HANDLE handle) {
    const auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles_.end()) {
        ++invalidCloses_;
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ++closes_;
    ++closesByPath_[it->second.name];
    handles_.erase(it);
    return TRUE;
}

BOOL SimulatedMachine::deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                       DWORD outSize, DWORD* returned) {
    // Without an overlapped structure Win32 requires the byte count.
    if (returned == nullptr) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *returned = 0;
    const auto it = handles_.find(reinterpret_cast<std::uintptr_t>(device));
    if (it == handles_.end()) {
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const OpenFile& file = it->second;
    if (!file.letter) {
        const auto disk = state().disks.find(file.name);
        if (disk == state().disks.end()) {
            setLastError(ERROR_NOT_READY); // removed by a step while open
            return FALSE;
        }
        return diskIoControl(disk->second, code, in, inSize, out, outSize, returned);
    }
    const auto drive = state().drives.find(*file.letter);
    if (drive == state().drives.end()) {
        setLastError(ERROR_NOT_READY);
        return FALSE;
    }
    // A letter's volume answers only which disk it lies on; the rest is asked of the disk.
    if (code != IOCTL_STORAGE_GET_DEVICE_NUMBER || !drive->second.deviceNumber) {
        setLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    STORAGE_DEVICE_NUMBER number{};
    number.DeviceType = drive->second.type == DRIVE_CDROM ? FILE_DEVICE_CD_ROM : FILE_DEVICE_DISK;
    number.DeviceNumber = *drive->second.deviceNumber;
    number.PartitionNumber = 1;
    return answer(answerFixed(&number, sizeof(number), out, outSize, returned));
}

BOOL SimulatedMachine::diskIoControl(const DiskState& disk, DWORD code, void* in, DWORD inSize,
                                     void* out, DWORD outSize, DWORD* returned) {
    switch (code) {
    case IOCTL_STORAGE_GET_DEVICE_NUMBER: {
        if (!disk.deviceNumber) {
            setLastError(ERROR_INVALID_FUNCTION);
            return FALSE;
        }
        STORAGE_DEVICE_NUMBER number{};
        number.DeviceType = disk.deviceNumber->type;
        number.DeviceNumber = disk.deviceNumber->number;
        number.PartitionNumber = 0; // the whole disk
        return answer(answerFixed(&number, sizeof(number), out, outSize, returned));
    }
    case IOCTL_STORAGE_QUERY_PROPERTY: {
        STORAGE_PROPERTY_QUERY query;
        if (in == nullptr || inSize < sizeof(query)) {
            setLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        std::memcpy(&query, in, sizeof(query));
        // Only the standard query of the device property; temperature and the rest are not
        // supported, as on storage stacks that lack them.
        if (query.PropertyId != StorageDeviceProperty || query.QueryType != PropertyStandardQuery ||
            !disk.descriptor) {
            setLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
        }
        // Anything from the 8-byte header up: what does not fit is cut off, and Size still tells
        // the full length.
        const Bytes descriptor = storageDeviceDescriptor(*disk.descriptor);
        return answer(answerDescriptor(descriptor, out, outSize, returned));
    }
    case IOCTL_DISK_GET_DRIVE_GEOMETRY: {
        if (!disk.geometry) {
            setLastError(ERROR_NOT_READY);
            return FALSE;
        }
        DISK_GEOMETRY geometry{};
        geometry.Cylinders.QuadPart = static_cast<LONGLONG>(disk.geometry->cylinders);
        // Copied, not cast: the SDK's enumeration has no fixed width for unknown values.
        const std::uint32_t mediaType = disk.geometry->mediaType;
        static_assert(sizeof(geometry.MediaType) == sizeof(mediaType));
        std::memcpy(&geometry.MediaType, &mediaType, sizeof(mediaType));
        geometry.TracksPerCylinder = disk.geometry->tracksPerCylinder;
        geometry.SectorsPerTrack = disk.geometry->sectorsPerTrack;
        geometry.BytesPerSector = disk.geometry->bytesPerSector;
        return answer(answerFixed(&geometry, sizeof(geometry), out, outSize, returned));
    }
    case IOCTL_DISK_GET_LENGTH_INFO: {
        if (!disk.length) {
            setLastError(ERROR_NOT_READY);
            return FALSE;
        }
        GET_LENGTH_INFORMATION length{};
        length.Length.QuadPart = static_cast<LONGLONG>(*disk.length);
        return answer(answerFixed(&length, sizeof(length), out, outSize, returned));
    }
    case win32::kIoctlAtaPassThrough:
        return ataPassThrough(disk, in, inSize, out, outSize, returned);
    case win32::kSmartRcvDriveData:
        return smartReceive(disk, in, inSize, out, outSize, returned);
    case win32::kIoctlScsiPassThrough:
        return scsiPassThrough(disk, in, inSize, out, outSize, returned);
    default:
        setLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
}

DWORD SimulatedMachine::getLogicalDrives() {
    DWORD mask = 0;
    for (const auto& [letter, drive] : state().drives) {
        mask |= DWORD{1} << (letter - 'A');
    }
    return mask;
}

UINT SimulatedMachine::getDriveType(const char16_t* root) {
    const auto letter = rootLetter(root, false);
    if (!letter) {
        return DRIVE_NO_ROOT_DIR;
    }
    const auto drive = state().drives.find(*letter);
    return drive == state().drives.end() ? DRIVE_NO_ROOT_DIR : drive->second.type;
}

int SimulatedMachine::isNetDrive(int drive) {
    if (drive < 0 || drive >= 26) {
        return 0;
    }
    const auto it = state().drives.find(static_cast<char>('A' + drive));
    return it == state().drives.end() ? 0 : it->second.network;
}

BOOL SimulatedMachine::getVolumeInformation(const char16_t* root, char16_t* name, DWORD nameSize,
                                            DWORD* serial, DWORD* maxComponent, DWORD* flags,
                                            char16_t* fileSystem, DWORD fileSystemSize) {
    const auto letter = rootLetter(root, false);
    if (!letter) {
        setLastError(kErrorInvalidName);
        return FALSE;
    }
    const auto drive = state().drives.find(*letter);
    if (drive == state().drives.end()) {
        setLastError(kErrorPathNotFound);
        return FALSE;
    }
    if (!drive->second.volume) {
        setLastError(ERROR_NOT_READY); // no medium, or no file system to ask
        return FALSE;
    }
    const VolumeState& volume = *drive->second.volume;
    // Each text goes whole with its terminating zero, or the call fails.
    if ((name != nullptr && nameSize <= volume.label.size()) ||
        (fileSystem != nullptr && fileSystemSize <= volume.fileSystem.size())) {
        setLastError(kErrorBadLength);
        return FALSE;
    }
    if (name != nullptr) {
        std::copy(volume.label.begin(), volume.label.end(), name);
        name[volume.label.size()] = u'\0';
    }
    if (fileSystem != nullptr) {
        std::copy(volume.fileSystem.begin(), volume.fileSystem.end(), fileSystem);
        fileSystem[volume.fileSystem.size()] = u'\0';
    }
    if (serial != nullptr) {
        *serial = volume.serial;
    }
    if (maxComponent != nullptr) {
        *maxComponent = kMaxComponentLength;
    }
    if (flags != nullptr) {
        *flags = volume.flags;
    }
    return TRUE;
}

BOOL SimulatedMachine::getDiskFreeSpaceEx(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                                          ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
    const auto letter = rootLetter(root, true);
    const auto drive = letter ? state().drives.find(*letter) : state().drives.end();
    if (drive == state().drives.end()) {
        setLastError(kErrorPathNotFound);
        return FALSE;
    }
    if (!drive->second.space) {
        setLastError(ERROR_NOT_READY);
        return FALSE;
    }
    const SpaceState& space = *drive->second.space;
    if (availableToCaller != nullptr) {
        availableToCaller->QuadPart = space.available;
    }
    if (total != nullptr) {
        total->QuadPart = space.total;
    }
    if (totalFree != nullptr) {
        totalFree->QuadPart = space.free;
    }
    return TRUE;
}

} // namespace platform::simulated
