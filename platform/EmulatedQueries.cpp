// The storage-information requests of a disk's handle: device number, the device and
// temperature descriptors, length and geometry; and the dispatch of every request by its code.

#include "platform/EmulatedRequests.h"

#include "platform/BufferAnswer.h"
#include "platform/PassThrough.h"
#include "platform/StorageEmulator.h"

#include <cstring>

namespace platform::emulated {
namespace {

constexpr std::int32_t kPropertyExistsQuery = 1;

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

} // namespace

BOOL fail(DWORD error) {
    setLastError(error);
    return FALSE;
}

BOOL answered(DWORD error) {
    return error == 0 ? TRUE : fail(error);
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

} // namespace platform::emulated
