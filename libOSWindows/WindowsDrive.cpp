#include "libOSWindows/WindowsDrive.h"

#include "foundation/Log.h"
#include "libOSWindows/DriveLetters.h"
#include "platform/Hot.h"
#include "platform/Win32.h"

#include <cstring>

namespace libOSWindows {
namespace {

constexpr DWORD kDescriptorHeaderSize = 40;
// A real descriptor is a few hundred bytes; a device claiming more is not believed.
constexpr DWORD kDescriptorSizeLimit = 64 * 1024;

void logDriveMessage(int priority, const char* number, const char* text) {
    static qel::Logger* logger = nullptr;
    if (qel::LogFactory::getPriority() > priority) {
        return;
    }
    if (logger == nullptr) {
        qel::LogFactory::createLogger("libOSWindows.WindowsDrive", logger);
    }
    if (logger->priority >= priority) {
        return;
    }
    qel::LoggerStream stream;
    stream.append(number);
    stream.append(text);
    logger->log(priority, stream);
}

bool queryGeometry(HANDLE handle, DISK_GEOMETRY& geometry) {
    std::memset(&geometry, 0, sizeof geometry);
    DWORD returned = 0;
    return win32::DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                                  sizeof geometry, &returned, nullptr) != 0 &&
           returned > 0;
}

} // namespace

WindowsDrive::WindowsDrive() = default;

WindowsDrive::WindowsDrive(const qel::FileHandle& handle) : WindowsDrive() {
    open(handle);
}

// Out of line: these members are exported for other modules that copy and destroy records.
// A copy shares the handle (only a valid one) and the descriptor, and copies the volumes.
WindowsDrive::WindowsDrive(const WindowsDrive& other)
    : handle(other.handle.isValid() ? other.handle : qel::FileHandle()),
      descriptor(other.descriptor), mediaKind(other.mediaKind),
      bytesPerSector(other.bytesPerSector), sizeBytes(other.sizeBytes), volumes(other.volumes),
      volumesLoaded(other.volumesLoaded) {}

WindowsDrive& WindowsDrive::operator=(const WindowsDrive& other) {
    if (this != &other) {
        if (other.handle.isValid()) {
            handle = other.handle;
        } else {
            handle.release();
        }
        descriptor = other.descriptor;
        mediaKind = other.mediaKind;
        bytesPerSector = other.bytesPerSector;
        sizeBytes = other.sizeBytes;
        volumes = other.volumes;
        volumesLoaded = other.volumesLoaded;
    }
    return *this;
}

// Reverse declaration order: the volumes, then the descriptor, then the handle.
WindowsDrive::~WindowsDrive() = default;

void WindowsDrive::open(const qel::FileHandle& newHandle) {
    mediaKind = static_cast<std::uint32_t>(DriveMediaKind::Unknown);
    bytesPerSector = 0;
    volumesLoaded = false;
    sizeBytes = 0;
    if (&newHandle != &handle) {
        handle = newHandle;
    }
    if (queryStorageDescriptor()) {
        const auto* header =
            reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(descriptor.get()->data);
        mediaKind = static_cast<std::uint32_t>(
            header->RemovableMedia != 0 ? DriveMediaKind::Removable : DriveMediaKind::Fixed);
        return;
    }
    DISK_GEOMETRY geometry;
    if (queryGeometry(handle.get(), geometry)) {
        if (geometry.MediaType == RemovableMedia) {
            mediaKind = static_cast<std::uint32_t>(DriveMediaKind::Removable);
        } else if (geometry.MediaType == FixedMedia) {
            mediaKind = static_cast<std::uint32_t>(DriveMediaKind::Fixed);
        }
        bytesPerSector = geometry.BytesPerSector;
    }
}

bool WindowsDrive::queryStorageDescriptor() {
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    alignas(8) unsigned char header[kDescriptorHeaderSize] = {};
    DWORD returned = 0;
    if (win32::DeviceIoControl(handle.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                               header, sizeof header, &returned, nullptr) == 0 ||
        returned == 0) {
        return false;
    }
    DWORD size = 0;
    std::memcpy(&size, header + 4, sizeof size);
    if (size < kDescriptorHeaderSize || size > kDescriptorSizeLimit) {
        return false;
    }
    descriptor.reset(new qel::Buffer<unsigned char>(size, true));
    if (win32::DeviceIoControl(handle.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                               descriptor.get()->data, size, &returned, nullptr) == 0) {
        descriptor.release();
        return false;
    }
    return true;
}

SM_HOT std::uint64_t WindowsDrive::getSize() {
    if (sizeBytes == 0) {
        sizeBytes = queryDiskLength();
    }
    return sizeBytes;
}

std::uint64_t WindowsDrive::queryDiskLength() {
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (win32::DeviceIoControl(handle.get(), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
                               sizeof length, &returned, nullptr) != 0) {
        return static_cast<std::uint64_t>(length.Length.QuadPart);
    }
    DISK_GEOMETRY geometry;
    if (queryGeometry(handle.get(), geometry)) {
        return std::uint64_t(geometry.BytesPerSector) * std::uint64_t(geometry.SectorsPerTrack) *
               std::uint64_t(geometry.TracksPerCylinder) *
               static_cast<std::uint64_t>(geometry.Cylinders.QuadPart);
    }
    return 0;
}

SM_HOT qel::Array<Volume>& WindowsDrive::getVolumes() {
    loadVolumes();
    return volumes;
}

void WindowsDrive::refreshVolumes() {
    for (Volume& volume : volumes) {
        volume.refreshInformation();
    }
}

SM_HOT void WindowsDrive::loadVolumes() {
    if (volumesLoaded) {
        return;
    }
    // Set first: a listing cut short (by an exception) is not attempted again.
    volumesLoaded = true;
    DriveLetterMap map;
    scanDriveLetters(map);
    if (!handle.isValid()) {
        return;
    }
    STORAGE_DEVICE_NUMBER number{};
    DWORD returned = 0;
    if (win32::DeviceIoControl(handle.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                               sizeof number, &returned, nullptr) == 0) {
        return;
    }
    const DriveLetterTable* table = nullptr;
    if (number.DeviceType == FILE_DEVICE_CD_ROM) {
        table = &map.cdromDrives;
    } else if (number.DeviceType == FILE_DEVICE_DISK) {
        switch (static_cast<DriveMediaKind>(mediaKind)) {
        case DriveMediaKind::Removable:
            table = &map.removableDrives;
            break;
        case DriveMediaKind::Fixed:
            table = &map.fixedDrives;
            break;
        case DriveMediaKind::Unknown:
            logDriveMessage(qel::kPriorityWarning, "589 ", "Media type unknown");
            break;
        default:
            logDriveMessage(qel::kPriorityError, "592 ", "Unknown error");
            break;
        }
    }
    if (table == nullptr) {
        return;
    }
    qel::Array<DriveLetterInfo> letters;
    table->getValue(number.DeviceNumber, letters);
    for (const DriveLetterInfo& info : letters) {
        volumes.append(Volume(info));
    }
}

} // namespace libOSWindows
